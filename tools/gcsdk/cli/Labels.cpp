#include "cli/Labels.h"

#include <algorithm>
#include <map>
#include <set>

#include "cli/Table.h"

namespace gcsdk {

const char kLabelRule[] =
    "keys start with a lowercase letter; keys and values hold lowercase letters, digits, '_' and '-', at "
    "most 63 characters";

namespace {

// A byte of a character outside ASCII: Compute Engine allows international characters.
bool IsInternational(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}

bool IsLabelText(const std::string& text) {
    if (DisplayWidth(text) > 63 || TerminalSafe(text) != text) return false;  // TerminalSafe: valid UTF-8
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || IsInternational(c);
    });
}

}  // namespace

bool IsLabelKey(const std::string& key) {
    return !key.empty() && ((key[0] >= 'a' && key[0] <= 'z') || IsInternational(key[0])) && IsLabelText(key);
}

bool IsLabelValue(const std::string& value) {
    return IsLabelText(value);
}

bool ReadLabelChanges(const std::vector<std::string>& pairs, const std::vector<std::string>& removals,
                      LabelList& set, std::string& error) {
    set.clear();
    if (pairs.empty() && removals.empty()) {
        error = "give the labels to set as KEY=VALUE, or --remove KEY";
        return false;
    }
    LabelList given;
    std::set<std::string> keys;
    for (const std::string& pair : pairs) {
        const size_t equals = pair.find('=');
        const std::string key = pair.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
        if (equals == std::string::npos || !IsLabelKey(key) || !IsLabelValue(value)) {
            error = "'" + TerminalSafe(pair) + "' is not a label KEY=VALUE (" + kLabelRule + ")";
            return false;
        }
        if (!keys.insert(key).second) {
            error = "label " + key + " is given twice";
            return false;
        }
        given.emplace_back(key, value);
    }
    for (const std::string& key : removals) {
        if (!IsLabelKey(key)) {
            error = "--remove '" + TerminalSafe(key) + "' is not a label key (" + kLabelRule + ")";
            return false;
        }
        if (keys.count(key)) {
            error = "label " + key + " is both set and removed";
            return false;
        }
    }
    set = given;
    return true;
}

LabelList ChangedLabels(const LabelList& current, const LabelList& set,
                        const std::vector<std::string>& removals) {
    const std::set<std::string> removed(removals.begin(), removals.end());
    std::map<std::string, std::string> values(set.begin(), set.end());
    LabelList changed;
    for (const auto& [key, value] : current) {
        if (removed.count(key)) continue;
        const auto given = values.find(key);
        changed.emplace_back(key, given == values.end() ? value : given->second);
        if (given != values.end()) values.erase(given);
    }
    for (const auto& [key, value] : set)
        if (values.count(key)) changed.emplace_back(key, value);
    return changed;
}

std::vector<std::string> LabelDifferences(const LabelList& expected, const LabelList& actual) {
    const std::map<std::string, std::string> want(expected.begin(), expected.end()),
        have(actual.begin(), actual.end());
    std::vector<std::string> differences;
    for (const auto& [key, value] : want) {
        const auto found = have.find(key);
        if (found == have.end())
            differences.push_back(key + " missing");
        else if (found->second != value)
            differences.push_back(key + "=" + found->second + ", expected " + key + "=" + value);
    }
    for (const auto& [key, value] : have)
        if (!want.count(key)) differences.push_back(key + "=" + value + " not expected");
    return differences;
}

}  // namespace gcsdk
