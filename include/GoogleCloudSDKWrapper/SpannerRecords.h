// Cloud Spanner instances, instance configurations, databases and long-running operations, and the
// Dataflow jobs that export and import Spanner databases.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Export.h"
#include "OperationRecords.h"

namespace GoogleCloudSDKWrapper {

struct GCSDK_API SSpannerInstanceInfoLib {
    std::string name;    // the instance id
    std::string config;  // the instance configuration id, e.g. "regional-us-central1"
    std::string displayName;
    int32_t nodeCount = 0;
    std::string state;
    std::string projectId;
};

struct GCSDK_API SSpannerInstanceConfigInfoLib {
    struct GCSDK_API SReplicaInfo {
        std::string location;
        std::string type;  // "READ_WRITE", "READ_ONLY", "WITNESS"
        bool defaultLeaderLocation = false;
    };
    std::string name;  // projects/P/instanceConfigs/C
    std::string displayName;
    std::vector<SReplicaInfo> replicas;
};

struct GCSDK_API SSpannerDatabaseBackupInfoLib {
    std::string backup;
    std::string createTime;
    std::string sourceDatabase;
};

struct GCSDK_API SSpannerDatabaseRestoreInfoLib {
    std::string sourceType;  // "BACKUP" for a database restored from a backup
    SSpannerDatabaseBackupInfoLib backupInfo;
};

struct GCSDK_API SSpannerDatabaseInfoLib {
    std::string name;  // the database id
    std::string state;
    std::string createTime;
    std::string projectId;
    std::string instanceId;
    SSpannerDatabaseRestoreInfoLib restoreInfo;
};

struct GCSDK_API SSpannerOperationInfoLib {
    std::string name;  // projects/P/instances/I/databases/D/operations/ID
    bool done = false;
    std::string responseType;      // the "@type" of the response of a done operation
    SOperationErrorInfoLib error;  // code (decimal text) and message of a failed operation
};

struct GCSDK_API SDataflowLaunchTemplateParametersInfoLib {
    std::string jobName;
    std::map<std::string, std::string> parameters;
};

struct GCSDK_API SDataflowJobInfoLib {
    std::string id;
    std::string projectId;
    std::string name;
    std::string type;
    std::string currentState;  // "JOB_STATE_QUEUED", "JOB_STATE_RUNNING", "JOB_STATE_DONE", ...
    std::string currentStateTime;
    std::string requestedState;
    std::string createTime;
    std::string startTime;
    std::string location;  // the region the job runs in, where it is to be followed
};

}  // namespace GoogleCloudSDKWrapper
