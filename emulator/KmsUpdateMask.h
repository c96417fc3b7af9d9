// Update masks of crypto key patches, as Cloud KMS reads them: google.protobuf.FieldMask paths in
// snake_case or camelCase, of the fields Google lets change.
// https://cloud.google.com/kms/docs/reference/rest/v1/projects.locations.keyRings.cryptoKeys/patch
#pragma once

#include <string>

#include "emulator/GoogleErrors.h"
#include "host/json/JsonValue.h"

namespace gcemu {

// The mask (paths joined by ',') applied to a key: each masked member taken from the given settings
// (read by ReadCryptoKeyBody), or removed when they lack it. False with the 400 for an empty or
// malformed mask, a path CryptoKey lacks, or one Google does not let change.
bool ApplyUpdateMask(const std::string& mask, const json_spirit::mObject& given, json_spirit::mObject& key,
                     GoogleError& error);

}  // namespace gcemu
