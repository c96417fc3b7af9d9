/// @file
/// Cloud Storage buckets and objects.
#pragma once

#include <string>
#include <vector>

#include "Export.h"

namespace GoogleCloudSDKWrapper {

/// A Cloud Storage bucket.
struct GCSDK_API SStorageBucketInfoLib {
    std::string id;        ///< the bucket's id (its name)
    std::string name;      ///< the bucket's name
    std::string location;  ///< "US", "EU", "US-CENTRAL1", ... in upper case
};

/// One object of a bucket listing.
struct GCSDK_API SStorageObjectItemInfoLib {
    std::string id;      ///< bucket/name/generation
    std::string name;    ///< the object's name
    std::string bucket;  ///< its bucket
};

/// An object listing: the objects, and the prefixes standing for the "folders" under a delimiter.
struct GCSDK_API SStorageObjectsInfoLib {
    std::vector<std::string> prefixes;             ///< the prefixes up to and with the delimiter ("backups/")
    std::vector<SStorageObjectItemInfoLib> items;  ///< the objects, every page
};

}  // namespace GoogleCloudSDKWrapper
