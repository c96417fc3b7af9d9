// Cloud KMS names and a key's rotation fields, checked before a request goes out, and shown.
#pragma once

#include <ctime>
#include <string>

namespace gcsdk {

// A crypto key's resource name, projects/P/locations/L/keyRings/R/cryptoKeys/K, in its parts.
struct KeyPath {
    std::string project, location, keyRing, key;

    std::string KeyRingText() const;  // projects/P/locations/L/keyRings/R
    std::string Text() const;         // the whole resource name
};

// What a key path must look like, for messages.
extern const char kKeyPathForm[];

// Whether the text is a key path: every part present and a Cloud KMS id, nothing after the key.
bool ParseKeyPath(const std::string& text, KeyPath& path);

// What Cloud KMS takes as a key ring or key id: letters, digits, '_' and '-', 1 to 63 of them.
bool IsKmsId(const std::string& id);
extern const char kKmsIdRule[];

// A location as Cloud KMS names it ("us-central1", "global"): lowercase letters, digits and '-'.
bool IsKmsLocation(const std::string& location);

// "90d" (days) or "7776000s" (seconds) as Cloud KMS writes a rotation period, "7776000s". Cloud KMS
// takes one day to 100 years; false with the reason otherwise.
bool ReadRotationPeriod(const std::string& text, std::string& period, std::string& error);

// Whether the text is an RFC 3339 time in UTC ("2027-03-09T12:00:00Z", a fraction of a second allowed)
// whose fields are in range; when it is, the instant in seconds since the epoch.
bool ReadUtcTime(const std::string& text, std::time_t& when);

// A rotation period for people: "7776000s (90 days)"; as it is when not whole days; empty stays empty.
std::string RotationPeriodText(const std::string& period);

}  // namespace gcsdk
