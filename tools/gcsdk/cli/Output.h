// What commands print: a table for people, JSON for scripts (--json), and one-line failures.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/Table.h"
#include "host/json/JsonValue.h"

namespace gcsdk {

// "what: message (code)"; without a code, "what: message"; without a message, "what: failed (code)".
std::string FailureText(const std::string& what, const std::string& message, const std::string& code);

// Compact JSON and a newline on out.
void PrintJson(const Invocation& invocation, const json_spirit::mValue& value);

// The table on out; with no rows, "no <noun> found" on err instead, so that out stays empty.
void PrintTable(const Invocation& invocation, const Table& table, const std::string& noun);

// A list as a table (one row per item) or as a JSON array (one object per item), as asked.
template <typename Item>
int PrintList(const Invocation& invocation, const std::vector<Item>& items, const std::string& noun,
              std::vector<std::string> headers,
              const std::function<std::vector<std::string>(const Item&)>& row,
              const std::function<json_spirit::mObject(const Item&)>& object) {
    if (invocation.Json()) {
        json_spirit::mArray array;
        for (const Item& item : items) array.push_back(object(item));
        PrintJson(invocation, array);
    } else {
        Table table(std::move(headers));
        for (const Item& item : items) table.AddRow(row(item));
        PrintTable(invocation, table, noun);
    }
    return kExitOk;
}

}  // namespace gcsdk
