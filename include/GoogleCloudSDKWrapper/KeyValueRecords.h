// A key/value pair: metadata items, labels and other pairs.
#pragma once

#include <string>

#include "Export.h"

namespace GoogleCloudSDKWrapper {

struct GCSDK_API SKeyValueInfoLib {
    std::string key;
    std::string value;
};

}  // namespace GoogleCloudSDKWrapper
