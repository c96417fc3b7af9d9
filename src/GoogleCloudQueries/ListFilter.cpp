#include "GoogleCloudQueries/ListFilter.h"

#include <cstring>

#include "GoogleCloudConnection/UrlComposition.h"

namespace GoogleCloudSDKWrapper {
namespace filter {

std::string Re2Literal(const std::string& value) {
    static const char kSpecial[] = "\\.+*?()|[]{}^$\"";
    std::string literal;
    literal.reserve(value.size() + 8);
    for (const char c : value) {
        if (c == '\0') {
            literal += "\\x00";  // RE2's spelling of a NUL; a backslash before it would not do
            continue;
        }
        if (std::strchr(kSpecial, c)) literal += '\\';
        literal += c;
    }
    return literal;
}

std::string EqualsQuery(const std::string& field, const std::string& value) {
    return "?filter=" + url::QueryValue(field + " eq \"" + Re2Literal(value) + "\"");
}

bool IsLabelKey(const std::string& key) {
    if (key.empty() || key.size() > 63 * 4) return false;  // 63 characters of up to four UTF-8 bytes
    for (const char c : key) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool allowed =
            byte >= 0x80 || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!allowed) return false;
    }
    return true;
}

}  // namespace filter
}  // namespace GoogleCloudSDKWrapper
