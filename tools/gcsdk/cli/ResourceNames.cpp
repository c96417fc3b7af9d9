#include "cli/ResourceNames.h"

#include <cstdio>

namespace gcsdk {

const char kResourceNameRule[] =
    "lowercase letters, digits and '-', starting with a letter, not ending with '-', at most 63 characters";

namespace {

constexpr size_t kMaxName = 63;

bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// FNV-1a, for a short stable tag of a long name.
unsigned Hash(const std::string& text) {
    unsigned hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}

}  // namespace

bool IsResourceName(const std::string& name) {
    if (name.empty() || name.size() > kMaxName || !IsLower(name.front()) || name.back() == '-') return false;
    for (char c : name)
        if (!IsLower(c) && !IsDigit(c) && c != '-') return false;
    return true;
}

bool IsGuid(const std::string& text) {
    if (text.empty() || text.size() > 20) return false;
    for (char c : text)
        if (!IsDigit(c)) return false;
    return text.size() < 20 || text <= "18446744073709551615";
}

bool IsWellFormedPattern(const std::string& pattern, std::string& error) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            if (i + 1 == pattern.size()) {
                error = "it ends with '\\', which escapes nothing";
                return false;
            }
            ++i;
            continue;
        }
        if (pattern[i] != '[') continue;
        // A set: "[!...]" or "[^...]" negated, a ']' right after the opening taken as itself.
        size_t j = i + 1;
        if (j < pattern.size() && (pattern[j] == '!' || pattern[j] == '^')) ++j;
        if (j < pattern.size() && pattern[j] == ']') ++j;
        const size_t close = pattern.find(']', j);
        if (close == std::string::npos) {
            error = "the '[' at position " + std::to_string(i + 1) + " is not closed by a ']'";
            return false;
        }
        i = close;
    }
    return true;
}

std::string SnapshotName(const std::string& prefix, const std::string& diskName, std::time_t when) {
    std::string base;
    for (char c : prefix + diskName) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        base += IsLower(c) || IsDigit(c) ? c : '-';
    }
    if (base.empty() || !IsLower(base.front())) base = "s" + base;

    std::tm utc{};
    gmtime_r(&when, &utc);
    char stamp[96];  // room for any int the compiler cannot rule out
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    const size_t room = kMaxName - std::string(stamp).size();
    if (base.size() > room) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "-%04x", Hash(base) & 0xFFFFu);
        base = base.substr(0, room - std::string(tag).size());
        while (!base.empty() && base.back() == '-') base.pop_back();
        base += tag;
    }
    while (base.back() == '-') base.pop_back();  // the stamp's own '-' follows
    return base + stamp;
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        const std::string item =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!item.empty()) items.push_back(item);
        if (end == std::string::npos) return items;
        start = end + 1;
    }
}

}  // namespace gcsdk
