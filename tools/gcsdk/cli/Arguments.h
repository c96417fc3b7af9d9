// Command-line arguments: --flag, --opt value, --opt=value, -h, positional arguments, and "--" after
// which everything is positional.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace gcsdk {

struct Option {
    std::string name;       // without the dashes: "project"
    std::string valueName;  // "P"; empty for a flag
    std::string help;
    char shortName = 0;       // 'h' lets "-h" stand for the option
    bool repeatable = false;  // a value option that may be given more than once ("--disk a --disk b")

    bool TakesValue() const { return !valueName.empty(); }
};

// A value option that may be given more than once.
inline Option Repeatable(std::string name, std::string valueName, std::string help) {
    return {std::move(name), std::move(valueName), std::move(help), 0, true};
}

class ParsedArguments {
public:
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    // The value given (the last one of a repeatable option); the fallback when the option was not given.
    std::string Value(const std::string& name, const std::string& fallback = "") const;
    // Every value given, in order, for options that may be repeated ("--disk a --disk b").
    std::vector<std::string> Values(const std::string& name) const;
    const std::vector<std::string>& Positional() const { return m_positional; }

    void Set(const std::string& name, const std::string& value) {
        m_values[name] = value;
        m_all[name].push_back(value);
    }
    void AddPositional(const std::string& value) { m_positional.push_back(value); }

private:
    std::map<std::string, std::string> m_values;  // a flag holds ""
    std::map<std::string, std::vector<std::string>> m_all;
    std::vector<std::string> m_positional;
};

struct ParseOutcome {
    bool ok = true;
    std::string error;  // "unknown option --x", "option --zone needs a value", ...
    size_t next = 0;    // index of the first argument not consumed
};

// Reads args from begin into parsed. With stopAtPositional, stops at the first positional argument
// (next points at it); otherwise collects every positional argument. A value option refuses an empty
// value and a following "--..." word as its value ("--zone --json" is a mistake, not a zone); one that is
// not repeatable refuses a second value, already in parsed or not (a second --zone is a mistake, not a
// correction). A flag given twice is the flag.
ParseOutcome ParseArguments(const std::vector<std::string>& args, size_t begin,
                            const std::vector<Option>& options, ParsedArguments& parsed,
                            bool stopAtPositional = false);

}  // namespace gcsdk
