#include "emulator/ComputeFilter.h"

#include <re2/re2.h>

#include <cctype>
#include <stdexcept>

namespace gcemu {

using json_spirit::mObject;
using json_spirit::mValue;

namespace {

std::string Trim(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(" \t") + 1 - start);
}

std::string Unquote(const std::string& text) {
    if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0])
        return text.substr(1, text.size() - 2);
    return text;
}

bool IsFieldChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-';
}

// The field as text: text, numbers and booleans only; false when absent or of another type.
bool FieldText(const mObject& resource, const std::vector<std::string>& path, std::string& text) {
    const mObject* object = &resource;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto found = object->find(path[i]);
        if (found == object->end()) return false;
        const mValue& value = found->second;
        if (i + 1 < path.size()) {
            if (value.type() != json_spirit::obj_type) return false;
            object = &value.get_obj();
            continue;
        }
        switch (value.type()) {
            case json_spirit::str_type:
                text = value.get_str();
                return true;
            case json_spirit::int_type:
                text = value.is_uint64() ? std::to_string(value.get_uint64())
                                         : std::to_string(value.get_int64());
                return true;
            case json_spirit::bool_type:
                text = value.get_bool() ? "true" : "false";
                return true;
            default:
                return false;
        }
    }
    return false;
}

// The literal of "eq"/"ne" as the pattern RE2 gets: the quotes taken off, every backslash kept.
std::string PatternOf(const std::string& literal) {
    if (literal.empty()) throw std::invalid_argument("no value");
    const char quote = literal[0];
    if (quote != '"' && quote != '\'') return literal;
    std::string pattern;
    size_t at = 1;
    for (; at < literal.size() && literal[at] != quote; ++at) {
        // An escaped quote does not end the literal; RE2 reads "\"" as '"'.
        if (literal[at] == '\\' && at + 1 < literal.size()) pattern += literal[at++];
        pattern += literal[at];
    }
    if (at >= literal.size()) throw std::invalid_argument("an unterminated quoted literal");
    if (at + 1 != literal.size()) throw std::invalid_argument("text after a quoted literal");
    return pattern;
}

std::shared_ptr<const re2::RE2> Compile(const std::string& pattern) {
    re2::RE2::Options options;
    options.set_log_errors(false);  // a bad pattern is the client's 400, not a line in our log
    auto compiled = std::make_shared<const re2::RE2>(pattern, options);
    if (!compiled->ok()) throw std::invalid_argument("not an RE2 pattern: " + compiled->error());
    return compiled;
}

}  // namespace

ComputeFilter::ComputeFilter(const std::string& text) {
    const std::string expression = Trim(text);
    if (expression.empty()) return;
    size_t at = 0;
    while (at < expression.size() && IsFieldChar(expression[at])) ++at;
    const std::string field = expression.substr(0, at);
    if (field.empty() || field.front() == '.' || field.back() == '.' || field.find("..") != std::string::npos)
        throw std::invalid_argument("no field name");
    for (size_t start = 0; start <= field.size();) {
        const size_t dot = field.find('.', start);
        m_path.push_back(field.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }

    const std::string rest = expression.substr(at);
    const std::string operation = Trim(rest);
    const bool spaced = !rest.empty() && rest[0] == ' ';
    if (spaced && (operation.compare(0, 3, "eq ") == 0 || operation.compare(0, 3, "ne ") == 0)) {
        m_op = operation[0] == 'e' ? Op::kRegexEq : Op::kRegexNe;
        m_value = PatternOf(Trim(operation.substr(3)));
        m_pattern = Compile(m_value);
        return;
    }
    size_t valueAt = 0;
    if (operation.compare(0, 2, "!=") == 0) {
        m_op = Op::kNotEquals;
        valueAt = 2;
    } else if (operation.compare(0, 1, "=") == 0) {
        m_op = Op::kEquals;
        valueAt = 1;
    } else if (operation.compare(0, 1, ":") == 0) {
        m_op = Op::kContains;
        valueAt = 1;
    } else {
        throw std::invalid_argument("no operator");
    }
    const std::string raw = Trim(operation.substr(valueAt));
    // An unquoted value with a space is a second comparison, which is not taken.
    if (raw.find_first_of(" \t()") != std::string::npos && Unquote(raw) == raw)
        throw std::invalid_argument("more than one comparison");
    m_value = Unquote(raw);
    if (m_op == Op::kContains && raw == "*") m_op = Op::kPresent;
}

bool ComputeFilter::Matches(const mObject& resource) const {
    if (m_op == Op::kAll) return true;
    std::string text;
    const bool present = FieldText(resource, m_path, text);
    switch (m_op) {
        case Op::kRegexEq:
            return present && re2::RE2::FullMatch(text, *m_pattern);
        case Op::kRegexNe:
            return !present || !re2::RE2::FullMatch(text, *m_pattern);
        case Op::kEquals:
            return present && text == m_value;
        case Op::kNotEquals:
            return !present || text != m_value;
        case Op::kContains:
            return present && text.find(m_value) != std::string::npos;
        case Op::kPresent:
            return present;
        case Op::kAll:
            break;
    }
    return true;
}

}  // namespace gcemu
