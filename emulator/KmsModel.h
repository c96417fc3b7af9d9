// What the Cloud KMS handlers share, and what Compute Engine asks of Cloud KMS: the collections, Google's
// rules for ids, locations, durations and times, the CryptoKey resource with its primary version, and
// Cloud KMS's errors. The reading of CryptoKey bodies and update masks is in KmsCryptoKeyBody.h.
// https://cloud.google.com/kms/docs/reference/rest
#pragma once

#include <cstdint>
#include <string>

#include "emulator/GoogleErrors.h"
#include "emulator/World.h"
#include "host/json/JsonValue.h"

namespace gcemu {

namespace collections {
// KeyRing resources {name, createTime} by name, "projects/p/locations/l/keyRings/r".
inline constexpr char kKmsKeyRings[] = "kms.keyRings";
// CryptoKey resources, their primary version within, by name ".../keyRings/r/cryptoKeys/k".
inline constexpr char kKmsCryptoKeys[] = "kms.cryptoKeys";
}  // namespace collections

// Cloud KMS's errors carry the canonical status, and reason "badRequest" for a 400 as Google's front
// end writes it.
GoogleError KmsError(int code, const std::string& message);
// 404 "KeyRing <name> not found." ("CryptoKey ..."), as Cloud KMS words it.
GoogleError KmsNotFound(const std::string& kind, const std::string& name);
// 409 "KeyRing <name> already exists."
GoogleError KmsAlreadyExists(const std::string& kind, const std::string& name);
// 403, as Google answers for a project the caller cannot see: "Permission 'cloudkms.keyRings.get' denied
// on resource '<name>' (or it may not exist)."
GoogleError KmsPermissionDenied(const std::string& permission, const std::string& resource);

// Key ring and key ids: [a-zA-Z0-9_-]{1,63}.
bool IsKmsId(const std::string& id);
// "global", a region ("us-central1") or a multi-region ("us", "nam4", "nam-eur-asia1"); a zone is none.
bool IsKmsLocation(const std::string& location);

// A google.protobuf.Duration in its JSON form: decimal seconds ending in 's' ("7776000s", "1.5s"). False
// when the text is not one.
struct Duration {
    int64_t seconds = 0;
    int32_t nanos = 0;
};
bool ParseDuration(const std::string& text, Duration& duration);
// The form Google answers with: "86400s", "1.500s".
std::string FormatDuration(const Duration& duration);

// A google.protobuf.Timestamp in its JSON form (RFC 3339, any offset), as Google gives it back: in UTC,
// 'Z', with 0, 3, 6 or 9 fraction digits. Empty when the text is not one.
std::string NormalTimestamp(const std::string& text);
// A time as Cloud KMS writes its own: UTC with nanoseconds, which are derived from the key (a resource
// name) so that a world gives the same times in every run.
std::string KmsTime(int64_t epochSecs, const std::string& key);

// Rotation periods Google takes: a day to 876,000 hours.
inline constexpr int64_t kShortestRotationSecs = 86400;
inline constexpr int64_t kLongestRotationSecs = 876000LL * 3600;

// The CryptoKey resource of settings a body or a world entry gave (KmsCryptoKeyBody.h: read, defaults
// applied and checked): name and createTime added, and for an ENCRYPT_DECRYPT key made with a version,
// the primary version 1 in that state (ENABLED, DISABLED, DESTROYED...). No primary when the state is
// empty.
json_spirit::mObject CryptoKeyResource(const std::string& name, json_spirit::mObject settings,
                                       const std::string& createTime, const std::string& primaryState);

// The CryptoKey of a CryptoKeyVersion name; the name itself when it names no version.
std::string CryptoKeyOf(const std::string& name);

// What Compute Engine checks before it encrypts a new disk with a Cloud KMS key (a CryptoKey or a
// version name): the key exists and its primary version is enabled. True with the version the disk
// reports; false with Compute Engine's refusal text.
bool UsableDiskKey(World::Txn& world, const std::string& keyName, std::string& version, std::string& problem);

}  // namespace gcemu
