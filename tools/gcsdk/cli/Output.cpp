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

void PrintJson(const Invocation& invocation, const json_spirit::mValue& value) {
    invocation.out << ZkJson::Serialize(value) << '\n';
    invocation.out.flush();
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
