#include "emulator/Encoding.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cctype>
#include <stdexcept>
#include <vector>

namespace gcemu {
namespace {

std::string RandomBytes(size_t count) {
    std::string bytes(count, '\0');
    if (count != 0 && RAND_bytes(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<int>(count)) != 1)
        throw std::runtime_error("no random bytes from OpenSSL");
    return bytes;
}

std::string RandomFrom(const char* alphabet, size_t alphabetSize, size_t length) {
    // 256 is a multiple of every alphabet size used here (64, 16), so plain modulo stays uniform.
    const std::string bytes = RandomBytes(length);
    std::string text;
    text.reserve(length);
    for (unsigned char byte : bytes) text += alphabet[byte % alphabetSize];
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
    std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
    const int length = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(length));
}

std::string Base64UrlEncode(const std::string& bytes) {
    std::string text = Base64Encode(bytes);
    while (!text.empty() && text.back() == '=') text.pop_back();
    for (char& c : text) {
        if (c == '+') c = '-';
        if (c == '/') c = '_';
    }
    return text;
}

std::optional<std::string> Base64UrlDecode(const std::string& text) {
    std::string standard = text;
    while (!standard.empty() && standard.back() == '=') standard.pop_back();
    for (char& c : standard) {
        if (c == '-') {
            c = '+';
        } else if (c == '_') {
            c = '/';
        } else if (!std::isalnum(static_cast<unsigned char>(c))) {
            return std::nullopt;  // also refuses the standard alphabet's '+' and '/'
        }
    }
    if (standard.size() % 4 == 1) return std::nullopt;
    const size_t padding = (4 - standard.size() % 4) % 4;
    standard.append(padding, '=');
    std::vector<unsigned char> out(standard.size() / 4 * 3 + 1);
    const int length = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(standard.data()),
                                       static_cast<int>(standard.size()));
    if (length < 0) return std::nullopt;
    // EVP_DecodeBlock counts the padding as zero bytes.
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(length) - padding);
}

std::string PercentDecode(const std::string& text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string PercentEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

StringMultimap ParseQuery(const std::string& text) {
    StringMultimap params;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos) end = text.size();
        const std::string pair = text.substr(start, end - start);
        if (!pair.empty()) {
            const size_t equals = pair.find('=');
            if (equals == std::string::npos) {
                params.emplace(PercentDecode(pair, true), std::string());
            } else {
                params.emplace(PercentDecode(pair.substr(0, equals), true),
                               PercentDecode(pair.substr(equals + 1), true));
            }
        }
        start = end + 1;
    }
    return params;
}

std::string RandomUrlSafe(size_t length) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    return RandomFrom(kAlphabet, 64, length);
}

std::string RandomHex(size_t length) {
    return RandomFrom("0123456789abcdef", 16, length);
}

std::string RandomDigits(size_t length) {
    std::string digits;
    while (digits.size() < length) {
        // Rejection sampling keeps the digits uniform.
        for (unsigned char byte : RandomBytes(length)) {
            if (byte >= 250 || digits.size() == length) continue;
            const char digit = static_cast<char>('0' + byte % 10);
            if (digits.empty() && digit == '0') continue;
            digits += digit;
        }
    }
    return digits;
}

std::string ToLower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace gcemu
