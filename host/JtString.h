// String helpers of the host.
#pragma once

#include <string>
#include <vector>

#include "HostApi.h"

class HOST_API JtString {
public:
    // Compares the first length-of-b characters of a with b, ignoring ASCII case; 0 when a begins
    // with b, negative or positive as strcasecmp otherwise.
    static int CompareLeftNoCase(const std::string& a, const std::string& b);
    // Byte-wise comparison; 0 when equal.
    static int Compare(const std::string& a, const std::string& b);
    // True when sought occurs in text; ignoreCase non-zero compares without regard to ASCII case.
    // An empty sought text is found in every text.
    static bool FindString(const std::string& text, const std::string& sought, int ignoreCase);
    // Splits at every occurrence of the separator, keeping empty parts; maxParts 0 means no limit,
    // otherwise the last part holds the rest. Parts are appended; returns their number.
    static size_t Split(const std::string& text, const std::string& separator,
                        std::vector<std::string>& parts, size_t maxParts);
    static void Join(const std::vector<std::string>& parts, const std::string& separator, std::string& text);
    static std::string Format(const char* format, ...) HOST_PRINTF(1, 2);
    static void Format(std::string& text, const char* format, ...) HOST_PRINTF(2, 3);
};
