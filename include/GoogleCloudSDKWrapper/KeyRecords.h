/// @file
/// Cloud KMS crypto keys, as disks are encrypted with them.
#pragma once

#include <string>

#include "Export.h"

namespace GoogleCloudSDKWrapper {

/// A Cloud KMS crypto key as read (CGoogleCloudSDKWrapper::GetKeyInfoAsKey()), or the body of a new key
/// (CreateKey(): purpose, rotation, and algorithm with protection level for the version template).
struct GCSDK_API SKeyInfoLib {
    std::string name;             ///< the key's resource name, projects/P/locations/L/keyRings/R/cryptoKeys/K
    std::string state;            ///< of the primary version: "ENABLED", "DISABLED", "DESTROYED", ...
    std::string algorithm;        ///< of the primary version, e.g. "GOOGLE_SYMMETRIC_ENCRYPTION"
    std::string protectionLevel;  ///< of the primary version: "SOFTWARE", "HSM", "EXTERNAL", ...
    std::string purpose;          ///< "ENCRYPT_DECRYPT" for a disk key
    std::string rotationPeriod;   ///< seconds followed by "s", e.g. "7776000s"; empty: no rotation
    std::string nextRotationTime;  ///< RFC 3339 in UTC, e.g. "2027-03-09T12:00:00Z"
};

}  // namespace GoogleCloudSDKWrapper
