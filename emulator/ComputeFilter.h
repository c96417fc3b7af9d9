// The list filter of Compute Engine, in the forms clients send: one comparison of a field (a dotted
// path such as "labels.env") with a value.
//
//   name eq vm-1            regular expression that must match the whole field; "ne" negates
//   labels.env=prod         AIP-160: equality; also "!=", ":" (substring) and ":*" (has the field)
//   labels.env = "prod"     spaces around the operator and quotes around the value are allowed
//
// The regular expressions are the safe subset that matches in linear time: literal characters, '.',
// '\' escapes, and the '*', '+', '?' repeats. Anything else ('(', '[', '|', '{', '^', '$'), and
// filters joining several comparisons, are refused as Google refuses an expression it cannot read.
#pragma once

#include <string>
#include <vector>

#include "host/json/JsonValue.h"

namespace gcemu {

// A pattern of the safe subset, matched against whole texts.
class SimplePattern {
public:
    // Throws std::invalid_argument for syntax outside the subset.
    explicit SimplePattern(const std::string& pattern);
    bool FullMatch(const std::string& text) const;

private:
    struct Atom {
        bool any = false;  // '.'
        char literal = 0;
        char repeat = 0;  // 0, '*', '+' or '?'
    };
    std::vector<Atom> m_atoms;
};

class ComputeFilter {
public:
    // Empty text takes everything. Throws std::invalid_argument for an expression it does not read.
    explicit ComputeFilter(const std::string& text);

    bool Matches(const json_spirit::mObject& resource) const;

private:
    enum class Op { kAll, kRegexEq, kRegexNe, kEquals, kNotEquals, kContains, kPresent };

    Op m_op = Op::kAll;
    std::vector<std::string> m_path;
    std::string m_value;
    std::vector<SimplePattern> m_pattern;  // one for the regular-expression forms
};

}  // namespace gcemu
