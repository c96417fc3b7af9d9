// Cloud Storage buckets and objects.
#pragma once

#include <string>
#include <vector>

#include "Export.h"

namespace GoogleCloudSDKWrapper {

struct GCSDK_API SStorageBucketInfoLib {
    std::string id;
    std::string name;
    std::string location;
};

struct GCSDK_API SStorageObjectItemInfoLib {
    std::string id;
    std::string name;
    std::string bucket;
};

// An object listing: the objects, and the prefixes standing for the "folders" under a delimiter.
struct GCSDK_API SStorageObjectsInfoLib {
    std::vector<std::string> prefixes;
    std::vector<SStorageObjectItemInfoLib> items;
};

}  // namespace GoogleCloudSDKWrapper
