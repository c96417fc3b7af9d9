// The list filter of Compute Engine, in the forms clients send: one comparison of a field (a dotted
// path such as "labels.env") with a value.
//
//   name eq vm-1            RE2 regular expression that must match the whole field; "ne" negates
//   name eq "web\-1"        the literal unquoted, 'single' or "double" quoted; inside quotes a backslash
//                           keeps the next character in the literal, and RE2 gets the backslashes as written
//   labels.env=prod         AIP-160: equality; also "!=", ":" (substring) and ":*" (has the field)
//   labels.env = "prod"     spaces around the operator and quotes around the value are allowed
//
// Filters joining several comparisons, and literals RE2 refuses, are refused as Google refuses an
// expression it cannot read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/json/JsonValue.h"

namespace re2 {
class RE2;
}

namespace gcemu {

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
    std::shared_ptr<const re2::RE2> m_pattern;  // the regular-expression forms only
};

}  // namespace gcemu
