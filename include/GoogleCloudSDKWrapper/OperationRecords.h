/// @file
/// Compute Engine long-running operations, and the body of a setLabels request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "KeyValueRecords.h"

namespace GoogleCloudSDKWrapper {

/// One error entry of a failed operation.
struct GCSDK_API SOperationErrorInfoLib {
    std::string code;     ///< symbolic, such as "ZONE_RESOURCE_POOL_EXHAUSTED"
    std::string message;  ///< its text
};

/// A Compute Engine long-running operation.
struct GCSDK_API SOperationInfoLib {
    std::string name;                 ///< the operation's name
    std::string selfLink;             ///< its URL, which is polled
    std::string user;                 ///< the e-mail of the account that started it
    std::string operationType;        ///< "insert", "delete", "createSnapshot", "attachDisk", ...
    std::string zone;                 ///< the zone's URL (zonal operations)
    std::string targetLink;           ///< the URL of the resource it changes
    std::string targetId;             ///< that resource's id
    std::string status;               ///< "PENDING", "RUNNING", "DONE"
    std::string httpErrorMessage;     ///< the HTTP error text of a failed operation ("BAD REQUEST")
    int32_t httpErrorStatusCode = 0;  ///< the HTTP status of a failed operation; 0 otherwise
    std::vector<SOperationErrorInfoLib> errors;  ///< its error entries; empty while it has not failed
};

/// The body of a setLabels request.
struct GCSDK_API SLabelInfoLib {
    std::vector<SKeyValueInfoLib> labels;  ///< the labels that replace the resource's
    std::string labelFingerprint;          ///< the fingerprint of the labels being replaced
};

}  // namespace GoogleCloudSDKWrapper
