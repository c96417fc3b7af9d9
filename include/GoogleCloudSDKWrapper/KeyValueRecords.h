/// @file
/// A key/value pair: metadata items, labels and other pairs.
#pragma once

#include <string>

#include "Export.h"

namespace GoogleCloudSDKWrapper {

/// One label ("env" = "prod") or metadata item ("startup-script" = "...").
struct GCSDK_API SKeyValueInfoLib {
    std::string key;    ///< the label key or metadata key
    std::string value;  ///< its value, as text
};

}  // namespace GoogleCloudSDKWrapper
