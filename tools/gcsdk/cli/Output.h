// What commands print: a table for people, JSON for scripts (--json), and one-line failures.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/ExchangeLog.h"
#include "cli/Table.h"
#include "host/json/JsonValue.h"

namespace gcsdk {

// "what: message (code)"; without a code, "what: message"; without a message, "what: failed (code)".
std::string FailureText(const std::string& what, const std::string& message, const std::string& code);

// A word a shell reads back as the text: as it is when it holds nothing unusual, else in single quotes.
std::string ShellWord(const std::string& text);

// Compact JSON and a newline on out.
void PrintJson(const Invocation& invocation, const json_spirit::mValue& value);

// The table on out; with no rows, "no <noun> found" on err instead, so that out stays empty.
void PrintTable(const Invocation& invocation, const Table& table, const std::string& noun);

// {"project": P, "zone": Z (or "region": R), "url": U, "code": C, "error": E}; members the URL does not
// name are left out.
json_spirit::mObject FailureObject(const FailedPlace& place);

// "gcsdk: partial list: <place> could not be listed: <error> (<code>)" on err, one line per place.
void WarnPartial(const Invocation& invocation, const std::vector<FailedPlace>& failures);

// "; not searched: <place> (<error> (<code>)), ..." for a lookup that found nothing; empty without places.
std::string NotSearched(const std::vector<FailedPlace>& failures);

// A list as a table (one row per item) or as a JSON array (one object per item), as asked. With failed
// places the list is partial: the table and a warning per place, or the JSON object {"items": [...],
// "failures": [...]}; kExitPartial instead of kExitOk.
template <typename Item>
int PrintList(const Invocation& invocation, const std::vector<Item>& items, const std::string& noun,
              std::vector<std::string> headers,
              const std::function<std::vector<std::string>(const Item&)>& row,
              const std::function<json_spirit::mObject(const Item&)>& object,
              const std::vector<FailedPlace>& failures = {}) {
    if (invocation.Json()) {
        json_spirit::mArray array;
        for (const Item& item : items) array.push_back(object(item));
        if (failures.empty()) {
            PrintJson(invocation, array);
        } else {
            json_spirit::mArray failed;
            for (const FailedPlace& place : failures) failed.push_back(FailureObject(place));
            PrintJson(invocation, json_spirit::mObject{{"items", array}, {"failures", failed}});
        }
    } else {
        Table table(std::move(headers));
        for (const Item& item : items) table.AddRow(row(item));
        PrintTable(invocation, table, noun);
        WarnPartial(invocation, failures);
    }
    return failures.empty() ? kExitOk : kExitPartial;
}

}  // namespace gcsdk
