// UTF-8 checks for the JSON reader and writer. Inside the host library only: not installed.
#pragma once

#include <cstddef>
#include <string>

namespace host {
namespace utf8 {

// Whether the bytes are well-formed UTF-8: no overlong forms, no encoded surrogates, nothing above
// U+10FFFF. ASCII runs are checked eight bytes at a time.
bool IsValid(const char* text, size_t size);
inline bool IsValid(const std::string& text) {
    return IsValid(text.data(), text.size());
}

// The text with each ill-formed sequence replaced by U+FFFD.
std::string Repaired(const std::string& text);

}  // namespace utf8
}  // namespace host
