#include "GoogleCloudConnection/UrlComposition.h"

#include <cstdint>

namespace GoogleCloudSDKWrapper {
namespace url {
namespace {

enum class Place { kSegment, kResourceName, kObjectPath, kQueryValue };

bool IsUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool KeepsAsIs(unsigned char c, Place place) {
    if (IsUnreserved(c)) return true;
    if (place == Place::kObjectPath) return c == '/';
    switch (c) {
        case ':':
        case '@':
        case '!':
        case '$':
        case '\'':
        case '(':
        case ')':
        case '*':
        case ',':
            return true;
        case '&':
        case '=':
        case '+':
        case ';':
            return place != Place::kQueryValue;
        case '/':
            return place != Place::kSegment;
        default:
            return false;  // '%', '#', blanks, quotes, brackets, braces, controls, non-ASCII
    }
}

void AppendEncoded(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

bool AllDots(const std::string& value, size_t begin, size_t end) {
    if (begin == end) return false;
    for (size_t i = begin; i < end; ++i)
        if (value[i] != '.') return false;
    return true;
}

std::string Encode(const std::string& value, Place place) {
    std::string out;
    out.reserve(value.size());
    size_t segmentBegin = 0;
    for (size_t i = 0; i <= value.size(); ++i) {
        bool atEnd = i == value.size();
        bool atSlash = !atEnd && value[i] == '/' && place != Place::kQueryValue;
        if (!atEnd && !atSlash) continue;
        // "." and ".." would be folded away by the client before sending.
        bool dots = place != Place::kQueryValue && AllDots(value, segmentBegin, i);
        for (size_t j = segmentBegin; j < i; ++j) {
            unsigned char c = static_cast<unsigned char>(value[j]);
            if (dots || !KeepsAsIs(c, place))
                AppendEncoded(out, c);
            else
                out += static_cast<char>(c);
        }
        if (atSlash) {
            if (place == Place::kSegment)
                AppendEncoded(out, '/');
            else
                out += '/';
        }
        segmentBegin = i + 1;
    }
    return out;
}

}  // namespace

std::string Segment(const std::string& value) {
    return Encode(value, Place::kSegment);
}

std::string ResourceName(const std::string& value) {
    return Encode(value, Place::kResourceName);
}

std::string ObjectPath(const std::string& value) {
    return Encode(value, Place::kObjectPath);
}

std::string QueryValue(const std::string& value) {
    return Encode(value, Place::kQueryValue);
}

}  // namespace url
}  // namespace GoogleCloudSDKWrapper
