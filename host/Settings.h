// Every settings key the library and its host services read, with its default, in one table.
#pragma once

#include <cstdint>
#include <string>

#include "HostApi.h"

class ZKPlatformInfo;

namespace host {
namespace settings {

struct TextKey {
    const char* section;
    const char* key;
    const char* defaultValue;
};

struct NumberKey {
    const char* section;
    const char* key;
    uint32_t defaultValue;
};

// Agent base folder; credential files are looked up under certificates/external/.
inline constexpr TextKey kBaseHome{"Base", "dBASEHOME", ""};

// Operation timing (seconds, or a count for the retry attempts).
inline constexpr NumberKey kOperationTimeout{"VirtualServer", "nGoogleCloudOperationTimeout", 900};
inline constexpr NumberKey kOperationWaitTime{"VirtualServer", "nGoogleCloudOperationWaitTime", 5};
inline constexpr NumberKey kOperationRetryAttempts{"VirtualServer", "nGoogleOperationRetryAttempts", 5};
inline constexpr NumberKey kOperationRetryInterval{"VirtualServer", "nGoogleOperationRetryIntervalInSeconds",
                                                   10};
inline constexpr NumberKey kSnapshotTimeout{"VirtualServer", "nGoogleSnapshotTimeoutInSecs", 86400};
inline constexpr NumberKey kSnapshotPolling{"VirtualServer", "nGoogleSnapshotPollingInSecs", 60};

// HTTP client.
inline constexpr TextKey kCaBundle{"GoogleCloud", "sCaBundle", ""};    // empty: the system store
inline constexpr TextKey kConnectTo{"GoogleCloud", "sConnectTo", ""};  // HOST:PORT for every connection
inline constexpr TextKey kProxy{"GoogleCloud", "sProxy", ""};
inline constexpr NumberKey kHttpConnectTimeout{"GoogleCloud", "nHttpConnectTimeoutSecs", 30};
inline constexpr NumberKey kHttpStallTimeout{"GoogleCloud", "nHttpStallTimeoutSecs", 120};

// Endpoint hosts (overridable for private or restricted endpoints).
inline constexpr TextKey kComputeHost{"GoogleCloud", "sComputeHost", "compute.googleapis.com"};
inline constexpr TextKey kResourceManagerHost{"GoogleCloud", "sResourceManagerHost",
                                              "cloudresourcemanager.googleapis.com"};
inline constexpr TextKey kSqlAdminHost{"GoogleCloud", "sSqlAdminHost", "sqladmin.googleapis.com"};
inline constexpr TextKey kKmsHost{"GoogleCloud", "sKmsHost", "cloudkms.googleapis.com"};
inline constexpr TextKey kSpannerHost{"GoogleCloud", "sSpannerHost", "spanner.googleapis.com"};
inline constexpr TextKey kDataflowHost{"GoogleCloud", "sDataflowHost", "dataflow.googleapis.com"};
inline constexpr TextKey kStorageHost{"GoogleCloud", "sStorageHost", "storage.googleapis.com"};
inline constexpr TextKey kOAuthHost{"GoogleCloud", "sOAuthHost", "www.googleapis.com"};

// GUID cache database; empty: under dBASEHOME, else the user's cache folder.
inline constexpr TextKey kGuidCacheFile{"GoogleCloud", "sGuidCacheFile", ""};

// Process log.
inline constexpr TextKey kLogFile{"GoogleCloud", "sLogFile", ""};  // empty: stderr
inline constexpr NumberKey kLogLevel{"GoogleCloud", "nLogLevel", 0};

// The value, or the key's default when it is not set.
HOST_API std::string Read(const TextKey& key);
HOST_API uint32_t Read(const NumberKey& key);
// Several keys from one snapshot: copies the value into the variable only when the key is set.
HOST_API bool Read(const ZKPlatformInfo& info, const NumberKey& key, uint32_t& value);

}  // namespace settings
}  // namespace host
