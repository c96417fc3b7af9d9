// The `filter` of Compute Engine lists. Its `eq` compares a field with an RE2 regular expression that
// must match the whole value, so a name is sent as a literal: RE2's metacharacters escaped, the value
// double-quoted. Callers still keep only the records whose field is exactly the one asked for.
#pragma once

#include <string>

namespace GoogleCloudSDKWrapper {
namespace filter {

// The text with every RE2 metacharacter (and the quote) behind a backslash: it matches only itself.
std::string Re2Literal(const std::string& value);

// "?filter=" and `field eq "literal"`, escaped for the query.
std::string EqualsQuery(const std::string& field, const std::string& value);

// A label key goes into the field path (labels.KEY), where nothing can be quoted: Compute Engine's
// label keys are 1 to 63 lowercase letters, digits, '_' and '-' (international letters allowed).
bool IsLabelKey(const std::string& key);

}  // namespace filter
}  // namespace GoogleCloudSDKWrapper
