// Compute Engine long-running operations, and the body of a setLabels request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "KeyValueRecords.h"

namespace GoogleCloudSDKWrapper {

struct GCSDK_API SOperationErrorInfoLib {
    std::string code;  // symbolic, such as "ZONE_RESOURCE_POOL_EXHAUSTED"
    std::string message;
};

struct GCSDK_API SOperationInfoLib {
    std::string name;
    std::string selfLink;
    std::string user;
    std::string operationType;
    std::string zone;
    std::string targetLink;
    std::string targetId;
    std::string status;  // "PENDING", "RUNNING", "DONE"
    std::string httpErrorMessage;
    int32_t httpErrorStatusCode = 0;
    std::vector<SOperationErrorInfoLib> errors;
};

struct GCSDK_API SLabelInfoLib {
    std::vector<SKeyValueInfoLib> labels;
    std::string labelFingerprint;
};

}  // namespace GoogleCloudSDKWrapper
