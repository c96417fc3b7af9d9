// Every request that changes a resource, and the following of Compute Engine's long-running
// operations to their end.
//
// A mutation POSTs (or DELETEs) and then, unless told not to wait, polls the operation it got back
// through its selfLink until its status is "DONE", it reports an error, or the time is up. A failed
// operation leaves the code and message of its last error entry in the error state ("LIMIT_EXCEEDED",
// "ZONE_RESOURCE_POOL_EXHAUSTED", ...), on which callers branch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "GoogleCloudSDKWrapper/Records.h"
#include "host/HbDebug.h"

namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection;
class CGoogleCloudParser;

class CGoogleCloudOperations : public CGoogleCloudErrorHandler {
public:
    // The connection and the parser are borrowed from the facade. The operation timing settings are
    // read once, here.
    CGoogleCloudOperations(ZkGoogleCloudErrorState* state, CGoogleCloudConnection* connection,
                           CGoogleCloudParser* parser);
    ~CGoogleCloudOperations();
    CGoogleCloudOperations(const CGoogleCloudOperations&) = delete;
    CGoogleCloudOperations& operator=(const CGoogleCloudOperations&) = delete;

    uint32_t GetOperationTimeout() const { return operationTimeout; }
    uint32_t GetOperationWaitTime() const { return operationWaitTime; }
    uint32_t GetRetryAttempts() const { return retryAttempts; }
    uint32_t GetRetryInterval() const { return retryInterval; }

    // ---- Requests and operation polling.
    bool PostObjectToLinkAndGetResult(const std::string& projectId, const std::string& link,
                                      const std::string& body, std::string& response);
    bool DeleteObjectFromLinkAndGetResult(const std::string& projectId, const std::string& link,
                                          std::string& response);
    // Follows the operation in a POST/DELETE reply to "DONE"; 0 means the class default.
    bool ParseOperationResp(const std::string& response, uint32_t timeoutSecs, uint32_t waitSecs);
    bool WaitForObjectToReachEndState(const std::string& link, SOperationInfoLib& operation,
                                      const std::string& wantedStatus, uint32_t timeoutSecs,
                                      uint32_t waitSecs);

    // ---- Disks and snapshots.
    // limitExceeded becomes true when the operation fails with "LIMIT_EXCEEDED", false on success.
    bool AttachZonalDisk(const std::string& projectId, const std::string& instanceName,
                         const std::string& zone, const std::string& diskSourceLink, bool& limitExceeded);
    bool AttachRegionalDisk(const std::string& projectId, const std::string& instanceName,
                            const std::string& region, const std::string& diskSourceLink,
                            bool& limitExceeded);
    bool DetachZonalDisk(const std::string& projectId, const std::string& diskName,
                         const std::string& deviceName, const std::string& instanceName,
                         const std::string& zone);
    bool DetachRegionalDisk(const std::string& projectId, const std::string& diskName,
                            const std::string& deviceName, const std::string& instanceName,
                            const std::string& region);
    bool CreateZonalDisk(const std::string& projectId, const std::string& zone, SDiskInfoLib& disk);
    bool CreateRegionalDisk(const std::string& projectId, const std::string& region, SDiskInfoLib& disk);
    bool DeleteZonalDisk(const std::string& projectId, const std::string& diskName, const std::string& zone);
    bool DeleteRegionalDisk(const std::string& projectId, const std::string& diskName,
                            const std::string& region);
    bool MoveDisk(const std::string& projectId, const std::string& targetDisk,
                  const std::string& destinationZone);
    bool CreateZonalDiskSnapshot(const std::string& projectId, const std::string& diskName,
                                 const std::string& zone, SSnapshotInfoLib& snapshot, bool wait);
    bool CreateRegionalDiskSnapshot(const std::string& projectId, const std::string& diskName,
                                    const std::string& region, SSnapshotInfoLib& snapshot, bool wait);
    bool DeleteDiskSnapshot(const std::string& projectId, const std::string& snapshotName);
    bool CreateZonalDiskFromSnapshot(const std::string& projectId, const std::string& snapshotUri,
                                     const std::string& diskName, const std::string& zone,
                                     const std::string& diskType, bool wait,
                                     const SDiskInfoLib& diskTemplate);
    bool CreateRegionalDiskFromSnapshot(const std::string& projectId, const std::string& snapshotUri,
                                        const std::string& diskName, const std::string& region,
                                        const std::string& diskType,
                                        const std::vector<std::string>& replicaZones, bool wait,
                                        const SDiskInfoLib& diskTemplate);
    bool CloneDisk(const std::string& projectId, const std::string& zone, const std::string& region,
                   const std::string& sourceDisk, bool regional, bool wait, SDiskInfoLib& disk);
    bool SetDiskLabels(const std::string& projectId, const std::string& link, const SDiskInfoLib& disk,
                       const std::vector<SKeyValueInfoLib>& labels);

    // ---- Instances.
    bool CreateInstance(const std::string& projectId, SVMInfoLib& instance);
    bool CreateInstanceFromJson(const std::string& projectId, const std::string& instanceJson,
                                SVMInfoLib& instance);
    bool DeleteInstance(const std::string& projectId, const std::string& instanceName,
                        const std::string& zone);
    bool PowerOffInstance(const std::string& projectId, const std::string& instanceName,
                          const std::string& zone);
    bool PowerOnInstance(const std::string& projectId, const std::string& instanceName,
                         const std::string& zone);

    // ---- Cloud KMS. It answers at once with the resource: nothing to follow.
    bool CreateKeyRing(const std::string& projectId, const std::string& location, const std::string& keyRing);
    bool CreateKey(const std::string& projectId, const std::string& location, const std::string& keyRing,
                   const std::string& keyId, const SKeyInfoLib& key);
    // The rotation period and next rotation time of the key at that resource name, nothing else.
    bool UpdateKey(const std::string& keyPath, const SKeyInfoLib& key);

    // ---- Dataflow and Cloud Spanner. Jobs and Spanner operations are polled every retry interval until
    // they end or the operation timeout has passed.
    bool LaunchDataflowTemplate(const std::string& projectId, const std::string& location,
                                const std::string& templatePath,
                                const SDataflowLaunchTemplateParametersInfoLib& launch,
                                SDataflowJobInfoLib& job);
    // Followed where the job runs: its location, else the global path (which knows us-central1 only).
    bool WaitForDataflowJob(const std::string& projectId, const SDataflowJobInfoLib& job);
    bool ExportSpannerDatabase(const std::string& projectId, const std::string& location,
                               const std::string& instanceId, const std::string& databaseId,
                               const std::string& outputFolder, bool wait);
    bool ImportSpannerDatabase(const std::string& projectId, const std::string& location,
                               const std::string& instanceId, const std::string& databaseId,
                               const std::string& inputFolder, bool wait);
    bool WaitForSpannerOperation(const std::string& projectId, const SSpannerOperationInfoLib& operation);
    // A database id that is not a Spanner database id is refused before any request.
    bool CreateSpannerDatabase(const std::string& projectId, const std::string& instanceId,
                               const std::string& databaseId, bool wait);

    // ---- Cloud Storage.
    bool CreateBucket(const std::string& projectId, const SStorageBucketInfoLib& bucket);
    bool DoesBucketExist(const std::string& projectId, const SStorageBucketInfoLib& bucket);
    bool UploadObjectToBucket(const std::string& projectId, const std::string& bucketName,
                              const std::string& objectName, const std::string& content);
    bool DownloadObjectFromBucket(const std::string& projectId, const SStorageBucketInfoLib& bucket,
                                  const std::string& objectName, std::string& content);

    // Shared steps of the zonal and regional forms.
    bool _AttachDisk(const std::string& projectId, const std::string& instanceName, const std::string& link,
                     const std::string& diskSourceLink, bool& limitExceeded);
    bool _DetachDisk(const std::string& projectId, const std::string& diskName, const std::string& deviceName,
                     const std::string& instanceName, const std::string& link);
    bool _CreateDisk(const std::string& projectId, const std::string& link, SDiskInfoLib& disk);
    bool _DeleteDisk(const std::string& projectId, const std::string& diskName, const std::string& link);
    bool _CreateDiskSnapshot(const std::string& projectId, const std::string& diskName, std::string& link,
                             SSnapshotInfoLib& snapshot, bool wait);

private:
    // The poll timing of snapshots and disk moves, read at each call.
    void SnapshotTiming(uint32_t& timeoutSecs, uint32_t& waitSecs) const;
    // Creation's attempt loop: the body is sent again after zone exhaustion, and (when allowed) after an
    // address conflict with the conflicting addresses left for Compute Engine to choose. The shared
    // steps here and below log with the tag of the public method that runs them.
    bool CreateInstanceWithRetries(const char* tag, const std::string& projectId, const std::string& link,
                                   std::string body, SVMInfoLib* rewritable, const std::string& instanceName);
    // The new disk of a disk-from-snapshot request; false (logged) when a name or the snapshot is missing.
    bool NewDiskFromSnapshot(const char* tag, const std::string& snapshotUri, const std::string& diskName,
                             const std::string& diskType, const SDiskInfoLib& diskTemplate,
                             SDiskInfoLib& disk);
    bool DiskFromSnapshot(const char* tag, const std::string& projectId, const std::string& link,
                          const SDiskInfoLib& disk, const std::string& snapshotUri, bool wait);
    bool InstanceAction(const char* tag, const std::string& projectId, const std::string& instanceName,
                        const std::string& zone, const std::string& action, const char* failureFormat)
        __attribute__((format(printf, 7, 0)));

    // The shared steps of a Spanner export and import: launch the template, and with wait follow its job.
    struct SpannerCopy {
        const char* tag;
        const char* templatePath;
        const char* jobPrefix;
        const char* folderParameter;
        const char* launchFailure;
        const char* copyFailureFormat;  // project, instance, database, folder
    };
    bool RunSpannerCopy(const SpannerCopy& copy, const std::string& projectId, const std::string& location,
                        const std::string& instanceId, const std::string& databaseId,
                        const std::string& folder, bool wait);

    HbDebug logger;
    CGoogleCloudConnection* connection;
    CGoogleCloudParser* parser;
    uint32_t operationTimeout;   // seconds
    uint32_t operationWaitTime;  // seconds between polls
    uint32_t retryAttempts;      // instance creation
    uint32_t retryInterval;      // seconds
};

}  // namespace GoogleCloudSDKWrapper
