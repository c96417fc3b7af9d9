#include "cli/Output.h"

#include <ostream>

#include "host/ZkJson.h"

namespace gcsdk {

std::string FailureText(const std::string& what, const std::string& message, const std::string& code) {
    if (message.empty() && code.empty()) return what + ": failed, and the library gave no reason";
    std::string text = what + ": " + (message.empty() ? "failed" : message);
    if (!code.empty()) text += " (" + code + ")";
    return text;
}

std::string ShellWord(const std::string& text) {
    if (!text.empty() &&
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-@+=:,") ==
            std::string::npos)
        return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void PrintJson(const Invocation& invocation, const json_spirit::mValue& value) {
    invocation.out << ZkJson::Serialize(value) << '\n';
    invocation.out.flush();
}

json_spirit::mObject FailureObject(const FailedPlace& place) {
    json_spirit::mObject object{{"url", place.url}, {"code", place.code}, {"error", place.error}};
    if (!place.project.empty()) object["project"] = place.project;
    if (!place.zone.empty()) object["zone"] = place.zone;
    if (!place.region.empty()) object["region"] = place.region;
    return object;
}

void WarnPartial(const Invocation& invocation, const std::vector<FailedPlace>& failures) {
    for (const FailedPlace& place : failures)
        invocation.err << invocation.registry.Program() << ": partial list: "
                       << TerminalSafe(
                              FailureText(place.Describe() + " could not be listed", place.error, place.code))
                       << '\n';
}

std::string NotSearched(const std::vector<FailedPlace>& failures) {
    std::vector<std::string> places;
    for (const FailedPlace& place : failures)
        places.push_back(place.Describe() + " (" +
                         (place.error.empty() ? place.code : place.error + " (" + place.code + ")") + ")");
    return places.empty() ? "" : "; not searched: " + Join(places, ", ");
}

void PrintTable(const Invocation& invocation, const Table& table, const std::string& noun) {
    if (table.RowCount() == 0) {
        invocation.err << invocation.registry.Program() << ": no " << noun << " found\n";
        return;
    }
    invocation.out << table.Render();
    invocation.out.flush();
}

}  // namespace gcsdk
