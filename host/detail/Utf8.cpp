#include "host/detail/Utf8.h"

#include <cstdint>
#include <cstring>

namespace host {
namespace utf8 {
namespace {

// Length of the UTF-8 sequence at p if it is well formed (1 to 4), else 0 with *bad set to the
// length of its longest valid-looking start (at least 1), which is replaced as a whole.
size_t Utf8Sequence(const unsigned char* p, size_t avail, size_t* bad) {
    unsigned char c = p[0];
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        *bad = 1;
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        bool ok = i < avail && p[i] >= low && p[i] <= high;
        if (!ok) {
            *bad = i;
            return 0;
        }
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

}  // namespace

bool IsValid(const char* text, size_t size) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + size;
    while (p < end) {
        // ASCII runs, eight bytes at a time.
        while (end - p >= 8) {
            uint64_t chunk;
            std::memcpy(&chunk, p, 8);
            if (chunk & 0x8080808080808080ULL) break;
            p += 8;
        }
        if (p == end) break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        size_t bad;
        size_t length = Utf8Sequence(p, static_cast<size_t>(end - p), &bad);
        if (length == 0) return false;
        p += length;
    }
    return true;
}

std::string Repaired(const std::string& s) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(s.size() + 8);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    const unsigned char* end = p + s.size();
    while (p < end) {
        if (*p < 0x80) {
            out.push_back(static_cast<char>(*p++));
            continue;
        }
        size_t bad = 0;
        size_t length = Utf8Sequence(p, static_cast<size_t>(end - p), &bad);
        if (length == 0) {
            out.append(kReplacement, 3);
            p += bad;
        } else {
            out.append(reinterpret_cast<const char*>(p), length);
            p += length;
        }
    }
    return out;
}

}  // namespace utf8
}  // namespace host
