// Text encodings the emulator meets on the wire: base64url (JWT segments, tokens), percent-encoding
// (paths, queries, form bodies), and random identifiers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "emulator/Http.h"

namespace gcemu {

// Without '=' padding, as JWTs carry it.
std::string Base64UrlEncode(const std::string& bytes);
// Accepts text with or without '=' padding; nullopt when it is not base64url.
std::optional<std::string> Base64UrlDecode(const std::string& text);
std::string Base64Encode(const std::string& bytes);

// "%41+b" -> "A+b"; with plusIsSpace (queries, form bodies) -> "A b".
std::string PercentDecode(const std::string& text, bool plusIsSpace);
// Everything but unreserved characters (RFC 3986) escaped.
std::string PercentEncode(const std::string& text);
// "a=1&b=x%20y" -> {a: 1, b: x y}; a name without '=' gets an empty value.
StringMultimap ParseQuery(const std::string& text);

// Cryptographically random characters from the base64url alphabet.
std::string RandomUrlSafe(size_t length);
// Random decimal digits, the first not zero.
std::string RandomDigits(size_t length);
std::string RandomHex(size_t length);

std::string ToLower(std::string text);

}  // namespace gcemu
