// Small pieces shared by the record mappings.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "GoogleCloudSDKWrapper/KeyValueRecords.h"
#include "host/json/JsonValue.h"

namespace GoogleCloudSDKWrapper {

// The whole text as a decimal integer (an optional leading '-', then digits), as Compute Engine sends
// its 64-bit values ("sizeGb", "diskSizeGb", ...). Anything else, such as "", "12abc", " 12", "+5" or
// a value beyond 64 bits, gives 0: a size read from a damaged text must not become another size.
inline int64_t DecimalOrZero(const std::string& text) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    if (error != std::errc() || stop != end) return 0;
    return value;
}

// Label pairs as the JSON object the APIs take; a later pair with the same key wins.
inline json_spirit::mObject LabelsObject(const std::vector<SKeyValueInfoLib>& labels) {
    json_spirit::mObject object;
    for (const SKeyValueInfoLib& label : labels) object[label.key] = label.value;
    return object;
}

}  // namespace GoogleCloudSDKWrapper
