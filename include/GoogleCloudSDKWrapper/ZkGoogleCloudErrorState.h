/// @file
/// The last-error record of one facade object, shared by all its components.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace GoogleCloudSDKWrapper {

/// What the last failure of a facade object left (CGoogleCloudSDKWrapper::GetLastError() and
/// GetLastErrorCode() read the first two). A success does not clear it.
struct GCSDK_API ZkGoogleCloudErrorState {
    std::string errorMessage;      ///< human-readable text of the last error
    std::string errorCode;         ///< "404", a symbolic code such as "ZONE_RESOURCE_POOL_EXHAUSTED", ...
    int32_t httpErrorCode = 0;     ///< HTTP status inside a failed long-running operation
    std::string httpErrorMessage;  ///< HTTP error text inside a failed long-running operation
};

}  // namespace GoogleCloudSDKWrapper
