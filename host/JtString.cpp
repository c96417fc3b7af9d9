#include "JtString.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

// ASCII only: the locale must not change how names compare.
unsigned char AsciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
    return text;
}

void FormatInto(std::string& text, const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) {
        text.clear();
        return;
    }
    text.assign(static_cast<size_t>(length), '\0');
    // The terminating NUL goes into the string's own spare byte, which it always has.
    std::vsnprintf(text.data(), static_cast<size_t>(length) + 1, format, args);
}

}  // namespace

int JtString::CompareLeftNoCase(const std::string& a, const std::string& b) {
    for (size_t i = 0; i < b.size(); ++i) {
        int right = AsciiLower(static_cast<unsigned char>(b[i]));
        // A shorter a ends first, as a C string would: it sorts before b.
        if (i >= a.size()) return right > 0 ? -right : -1;
        int left = AsciiLower(static_cast<unsigned char>(a[i]));
        if (left != right) return left - right;
    }
    return 0;
}

int JtString::Compare(const std::string& a, const std::string& b) {
    return a.compare(b);
}

bool JtString::FindString(const std::string& text, const std::string& sought, int ignoreCase) {
    if (!ignoreCase) return text.find(sought) != std::string::npos;
    // Lower-cased copies searched by find (memchr and memcmp) are many times faster than a search that
    // folds the case of every pair of characters it compares.
    return Lowered(text).find(Lowered(sought)) != std::string::npos;
}

size_t JtString::Split(const std::string& text, const std::string& separator, std::vector<std::string>& parts,
                       size_t maxParts) {
    size_t count = 0;
    size_t start = 0;
    while (true) {
        size_t end = separator.empty() ? std::string::npos : text.find(separator, start);
        if (end == std::string::npos || (maxParts != 0 && count + 1 == maxParts)) {
            parts.push_back(text.substr(start));
            return count + 1;
        }
        parts.push_back(text.substr(start, end - start));
        ++count;
        start = end + separator.size();
    }
}

void JtString::Join(const std::vector<std::string>& parts, const std::string& separator, std::string& text) {
    text.clear();
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) text += separator;
        text += parts[i];
    }
}

std::string JtString::Format(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    FormatInto(text, format, args);
    va_end(args);
    return text;
}

void JtString::Format(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatInto(text, format, args);
    va_end(args);
}
