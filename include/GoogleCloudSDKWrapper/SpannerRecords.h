/// @file
/// Cloud Spanner instances, instance configurations, databases and long-running operations, and the
/// Dataflow jobs that export and import Spanner databases.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Export.h"
#include "OperationRecords.h"

namespace GoogleCloudSDKWrapper {

/// A Cloud Spanner instance.
struct GCSDK_API SSpannerInstanceInfoLib {
    std::string name;         ///< the instance id
    std::string config;       ///< the instance configuration id, e.g. "regional-us-central1"
    std::string displayName;  ///< its display name
    int32_t nodeCount = 0;    ///< its compute capacity in nodes
    std::string state;        ///< "CREATING" or "READY"
    std::string projectId;    ///< its project
};

/// A Cloud Spanner instance configuration and its replicas.
struct GCSDK_API SSpannerInstanceConfigInfoLib {
    /// One replica of the configuration.
    struct GCSDK_API SReplicaInfo {
        std::string location;                ///< a region, "us-central1"
        std::string type;                    ///< "READ_WRITE", "READ_ONLY", "WITNESS"
        bool defaultLeaderLocation = false;  ///< the default leader region
    };
    std::string name;                    ///< projects/P/instanceConfigs/C
    std::string displayName;             ///< its display name
    std::vector<SReplicaInfo> replicas;  ///< its replicas
};

/// The backup a database was restored from.
struct GCSDK_API SSpannerDatabaseBackupInfoLib {
    std::string backup;          ///< the backup's resource name
    std::string createTime;      ///< when the backup was taken (RFC 3339)
    std::string sourceDatabase;  ///< the resource name of the database backed up
};

/// Where a restored database came from.
struct GCSDK_API SSpannerDatabaseRestoreInfoLib {
    std::string sourceType;                    ///< "BACKUP" for a database restored from a backup
    SSpannerDatabaseBackupInfoLib backupInfo;  ///< the backup, when sourceType is "BACKUP"
};

/// A Cloud Spanner database.
struct GCSDK_API SSpannerDatabaseInfoLib {
    std::string name;                            ///< the database id
    std::string state;                           ///< "CREATING", "READY", "READY_OPTIMIZING"
    std::string createTime;                      ///< RFC 3339
    std::string projectId;                       ///< its project
    std::string instanceId;                      ///< its instance
    SSpannerDatabaseRestoreInfoLib restoreInfo;  ///< where it was restored from; empty when it was not
};

/// A Cloud Spanner long-running operation.
struct GCSDK_API SSpannerOperationInfoLib {
    std::string name;              ///< projects/P/instances/I/databases/D/operations/ID
    bool done = false;             ///< it has ended, well or not
    std::string responseType;      ///< the "@type" of the response of a done operation
    SOperationErrorInfoLib error;  ///< code (decimal text) and message of a failed operation
};

/// The body of a Dataflow template launch.
struct GCSDK_API SDataflowLaunchTemplateParametersInfoLib {
    std::string jobName;                            ///< the new job's name
    std::map<std::string, std::string> parameters;  ///< the template's parameters
};

/// A Dataflow job, as launched and as polled.
struct GCSDK_API SDataflowJobInfoLib {
    std::string id;                ///< the job's id
    std::string projectId;         ///< its project
    std::string name;              ///< its name
    std::string type;              ///< "JOB_TYPE_BATCH", ...
    std::string currentState;      ///< "JOB_STATE_QUEUED", "JOB_STATE_RUNNING", "JOB_STATE_DONE", ...
    std::string currentStateTime;  ///< when it reached that state (RFC 3339)
    std::string requestedState;    ///< the state asked for, if any
    std::string createTime;        ///< RFC 3339
    std::string startTime;         ///< RFC 3339
    std::string location;          ///< the region the job runs in, where it is to be followed
};

}  // namespace GoogleCloudSDKWrapper
