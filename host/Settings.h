// Every settings key the library and its host services read, with its default, in one table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HostApi.h"

class ZKPlatformInfo;

namespace host {
namespace settings {

struct TextKey {
    const char* section;
    const char* key;
    const char* defaultValue;
};

// A number outside [minimum, maximum] is refused with an error line naming the key, and the default
// holds: a limit must not be switched off or wrapped round by a typing slip.
struct NumberKey {
    const char* section;
    const char* key;
    uint32_t defaultValue;
    uint32_t minimum;
    uint32_t maximum;
};

// Waits and intervals are slept in milliseconds (times 3000 at most), which must fit 32 bits.
inline constexpr uint32_t kMaxIntervalSecs = 7 * 86400;
inline constexpr uint32_t kMaxSecs = UINT32_MAX;

// Agent base folder; credential files are looked up under certificates/external/.
inline constexpr TextKey kBaseHome{"Base", "dBASEHOME", ""};

// Operation timing (seconds, or a count for the retry attempts).
inline constexpr NumberKey kOperationTimeout{"VirtualServer", "nGoogleCloudOperationTimeout", 900, 0,
                                             kMaxSecs};
inline constexpr NumberKey kOperationWaitTime{"VirtualServer", "nGoogleCloudOperationWaitTime", 5, 0,
                                              kMaxIntervalSecs};
inline constexpr NumberKey kOperationRetryAttempts{"VirtualServer", "nGoogleOperationRetryAttempts", 5, 0,
                                                   1000};
inline constexpr NumberKey kOperationRetryInterval{"VirtualServer", "nGoogleOperationRetryIntervalInSeconds",
                                                   10, 0, kMaxIntervalSecs};
inline constexpr NumberKey kSnapshotTimeout{"VirtualServer", "nGoogleSnapshotTimeoutInSecs", 86400, 0,
                                            kMaxSecs};
inline constexpr NumberKey kSnapshotPolling{"VirtualServer", "nGoogleSnapshotPollingInSecs", 60, 0,
                                            kMaxIntervalSecs};

// HTTP client.
inline constexpr TextKey kCaBundle{"GoogleCloud", "sCaBundle", ""};    // empty: the system store
inline constexpr TextKey kConnectTo{"GoogleCloud", "sConnectTo", ""};  // HOST:PORT for every connection
inline constexpr TextKey kProxy{"GoogleCloud", "sProxy", ""};
// At least a second each: 0 would mean "wait for ever" to libcurl.
inline constexpr NumberKey kHttpConnectTimeout{"GoogleCloud", "nHttpConnectTimeoutSecs", 30, 1, 3600};
inline constexpr NumberKey kHttpStallTimeout{"GoogleCloud", "nHttpStallTimeoutSecs", 120, 1, 86400};
// A read (GET) that fails for a passing reason is sent again this many times at most; 0: never again.
inline constexpr NumberKey kHttpRetryAttempts{"GoogleCloud", "nHttpRetryAttempts", 3, 0, 10};
// The longest pause before a resend, whatever the back-off or the server's Retry-After asks.
inline constexpr NumberKey kHttpRetryMaxDelay{"GoogleCloud", "nHttpRetryMaxDelaySecs", 32, 1, 3600};
// An answer larger than this is refused rather than held in memory.
inline constexpr NumberKey kHttpMaxResponseMB{"GoogleCloud", "nHttpMaxResponseMB", 256, 1, 4096};

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

// 1: VM searches by GUID, by literal label and across a project's zones read each project's
// aggregated instance list (one request per project) instead of a list per zone.
inline constexpr NumberKey kAggregatedDiscovery{"GoogleCloud", "bAggregatedDiscovery", 0, 0, 1};

// GUID cache database; empty: under dBASEHOME, else the user's cache folder.
inline constexpr TextKey kGuidCacheFile{"GoogleCloud", "sGuidCacheFile", ""};

// Process log.
inline constexpr TextKey kLogFile{"GoogleCloud", "sLogFile", ""};  // empty: stderr
inline constexpr NumberKey kLogLevel{"GoogleCloud", "nLogLevel", 0, 0, 9};

// The value, or the key's default when it is not set (or, for a number, not a number in its range).
HOST_API std::string Read(const TextKey& key);
HOST_API uint32_t Read(const NumberKey& key);
// Several keys from one snapshot: copies the value into the variable only when the key is set to a
// number in its range.
HOST_API bool Read(const ZKPlatformInfo& info, const NumberKey& key, uint32_t& value);

// What is wrong with the settings file, one line per problem, each naming the file or the key: a file
// named that does not exist or cannot be read, a key of the GoogleCloud section that nothing reads, a
// number that is not a number in its range. Empty when all is well or when no file is named. The
// library itself goes on with the defaults; a tool should stop before it sends anything.
HOST_API std::vector<std::string> Problems();

}  // namespace settings
}  // namespace host
