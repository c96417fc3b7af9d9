// CGoogleCloudSDKWrapper: the one object through which a backup agent reads and changes Google Cloud
// resources. Every method returns its success; after a failure, GetLastError and GetLastErrorCode
// tell why. One object is used by one thread at a time.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Export.h"
#include "Records.h"
#include "Types.h"
#include "ZkGoogleCloudErrorState.h"
#include "host/HbDebug.h"

class ZKVMGuidCache;

namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection;
class CGoogleCloudQueries;
class CGoogleCloudParser;
class CGoogleCloudOperations;

class GCSDK_API CGoogleCloudSDKWrapper : public HbDebug {
public:
    // Builds every component; sends nothing over the network.
    CGoogleCloudSDKWrapper();
    ~CGoogleCloudSDKWrapper();
    CGoogleCloudSDKWrapper(const CGoogleCloudSDKWrapper&) = delete;
    CGoogleCloudSDKWrapper& operator=(const CGoogleCloudSDKWrapper&) = delete;

    // Opens the VM GUID cache.
    bool Init();
    // Always true; kept for callers that probe the object.
    bool CheckConnection();
    // Signs in with a service-account key and obtains an access token. For a JSON key file: an empty
    // key file name, the client e-mail and the PEM private key. For a PKCS#12 key file: its name
    // (looked up under <dBASEHOME>/certificates/external/, then as given), the e-mail and its password.
    bool Connect(const std::string& keyFileName, const std::string& clientEmail,
                 const std::string& keyOrPassword);
    // Whether the project's Compute Engine resource can be read with the current credential. A false
    // result carries no error of its own.
    bool isProjectAccessible(const std::string& projectId);

    // The message and code of the last failure; reading them does not clear them.
    std::string GetLastError();
    std::string GetLastErrorCode();
    // The instance resource as Compute Engine returns it (by name, or a filtered list by id).
    bool GetInstanceConfigJson(const std::string& projectId, const std::string& vmName,
                               const std::string& vmId, const std::string& zone, std::string& json);

    // ---- Finding VMs. An empty project id means every project the account can list; every VM a list
    // method returns has its location put in the GUID cache (an existing entry is kept).
    // By project and zone when both are given, otherwise by GUID through SearchInstance.
    bool GetVMInfo(const std::string& projectId, const std::string& vmName, const std::string& vmGuid,
                   const std::string& zone, SVMInfoLib& vm, UINT64 mask);
    // By GUID: the cached location first (then by name there), else a scan of every project.
    bool SearchInstance(const std::string& vmGuid, const std::string& vmName, UINT64 mask,
                        std::string& projectId, std::string& region, std::string& zone, SVMInfoLib& vm);
    bool ScanInstanceByGuid(const std::string& vmGuid, UINT64 mask, std::string& projectId,
                            std::string& region, std::string& zone, SVMInfoLib& vm);
    bool GetVMInfoList(std::vector<SVMInfoLib>& vms, UINT64 mask);
    bool GetVMInfoListInZone(const std::string& projectId, const std::string& zone,
                             std::vector<SVMInfoLib>& vms, UINT64 mask);
    // A key or value holding '*', '?' or '[...]' is a pattern, matched without regard to case.
    bool GetVMInfoListByLabel(const std::string& projectId, const std::string& key, const std::string& value,
                              std::vector<SVMInfoLib>& vms, UINT64 mask);
    bool GetVMInfoListByLabelRegEx(const std::string& projectId, const std::string& keyPattern,
                                   const std::string& valuePattern, std::vector<SVMInfoLib>& vms,
                                   UINT64 mask);
    bool GetVMInfoListInRegion(const std::string& projectId, const std::string& region,
                               const std::string& regionId, std::vector<SVMInfoLib>& vms, UINT64 mask);
    // A project id, or a pattern selecting projects by id.
    bool GetVMInfoListInProject(const std::string& projectPattern, std::vector<SVMInfoLib>& vms, UINT64 mask);
    void LookupAndCacheGuid(const std::vector<SVMInfoLib>& vms);
    bool DoesVMExist(const std::string& projectId, const std::string& vmName, const std::string& zone,
                     SVMInfoLib& vm);

    // ---- Zones, regions, machine types, networks.
    bool GetZoneInfo(const std::string& projectId, const std::string& zone, const std::string& unused,
                     SZoneInfoLib& record, UINT64 mask);
    bool GetZoneInfoList(const std::string& projectId, std::vector<SZoneInfoLib>& zones, UINT64 mask);
    bool GetZoneInfoListInRegion(const std::string& projectId, const std::string& region,
                                 std::vector<SZoneInfoLib>& zones, UINT64 mask);
    bool GetRegionInfo(const std::string& projectId, const std::string& region, const std::string& regionId,
                       SRegionInfoLib& record, UINT64 mask);
    bool GetRegionInfoList(const std::string& projectId, std::vector<SRegionInfoLib>& regions, UINT64 mask);
    // record.zone must name the zone; the machine type is a name or a URL.
    bool GetMachineTypeInfo(const std::string& projectId, const std::string& machineType,
                            SMachineTypeInfoLib& record, UINT64 mask);
    bool GetMachineTypesInfoList(const std::string& projectId, const std::string& zone,
                                 std::vector<SMachineTypeInfoLib>& machineTypes, UINT64 mask);
    bool GetMachineTypeUri(const std::string& projectId, const std::string& machineType,
                           const std::string& zone, std::string& url);
    bool GetNetworkInfo(const std::string& projectId, const std::string& network, SNetworkInfoLib& record,
                        UINT64 mask);
    bool GetNetworkList(const std::string& projectId, std::vector<SNetworkInfoLib>& networks, UINT64 mask);
    bool GetNetworkUri(const std::string& projectId, const std::string& network, std::string& url);
    // record.region must name the region; the subnetwork is a name or a URL.
    bool GetSubNetworkInfo(const std::string& projectId, const std::string& subnetwork,
                           SSubnetInfoLib& record, UINT64 mask);
    bool GetSubNetworkList(const std::string& projectId, const std::string& zone, const std::string& region,
                           const std::string& networkUrl, std::vector<SSubnetInfoLib>& subnets, UINT64 mask);

    // ---- Disks, snapshots, images, licenses.
    bool GetDiskInfo(const std::string& projectId, const std::string& diskName, const std::string& zone,
                     const std::string& region, const bool& regional, SDiskInfoLib& disk, UINT64 mask);
    bool DoesDiskExist(const std::string& projectId, const std::string& diskName, const std::string& zone,
                       const std::string& region, const bool& regional);
    bool GetDiskState(const std::string& projectId, const std::string& zone, const std::string& region,
                      const bool& regional, const std::string& diskName, std::string& status);
    bool GetDiskTypeUri(const std::string& projectId, const std::string& diskType, const std::string& zone,
                        const std::string& region, const bool& regional, std::string& url);
    bool GetZonalDiskTypeUri(const std::string& projectId, const std::string& diskType,
                             const std::string& zone, std::string& url);
    bool GetRegionalDiskTypeUri(const std::string& projectId, const std::string& diskType,
                                const std::string& region, std::string& url);
    bool ParseDiskInfo(const std::string& diskJson, SDiskInfoLib& disk);
    bool ParseReplicaZonesFromJson(const std::string& diskJson, std::vector<std::string>& replicaZones,
                                   std::string& diskUrl);
    bool GetSnapshotInfo(const std::string& projectId, const std::string& snapshot, SSnapshotInfoLib& record,
                         UINT64 mask);
    bool GetSnapshotList(const std::string& projectId, std::vector<SSnapshotInfoLib>& snapshots, UINT64 mask);
    bool DoesSnapshotExist(const std::string& projectId, const std::string& snapshot);
    bool GetSnapshotState(const std::string& projectId, const std::string& snapshot, std::string& status);
    bool GetSnapshotUri(const std::string& projectId, const std::string& snapshot, std::string& url);
    bool GetImageInfo(const std::string& projectId, const std::string& image, SImageInfoLib& record,
                      UINT64 mask);
    bool GetImageList(const std::string& projectId, std::vector<SImageInfoLib>& images, UINT64 mask);
    // The licenses published by the image project of an operating system ("Windows Server 2019", ...).
    bool GetLicensesForProject(const std::string& osDescription, std::vector<SLicenseInfoLib>& licenses);
    // The public image project of an operating system; empty when none is known.
    std::string GetImageProjectId(const std::string& osDescription);

    // ---- Changing disks and snapshots. Each waits for Compute Engine's operation to finish unless a
    // wait flag says otherwise.
    // The disk record gives the body (a disk type name becomes its URL) and receives the disk as created.
    bool CreateDisk(const std::string& projectId, const std::string& diskName, const std::string& zone,
                    const std::string& region, const bool& regional, SDiskInfoLib& disk);
    bool CreateZonalDisk(const std::string& projectId, const std::string& diskName, const std::string& zone,
                         SDiskInfoLib& disk);
    bool CreateRegionalDisk(const std::string& projectId, const std::string& diskName,
                            const std::string& region, SDiskInfoLib& disk);
    // A new disk (disk.name) copied from the source disk.
    bool CloneDisk(const std::string& projectId, const std::string& zone, const std::string& region,
                   const std::string& sourceDisk, const bool& regional, const bool& wait, SDiskInfoLib& disk);
    // True when the disk is gone, also when it was gone already (its read answered 404).
    bool DeleteDisk(const std::string& projectId, const std::string& diskName, const std::string& zone,
                    const std::string& region, const bool& regional);
    bool DeleteZonalDisk(const std::string& projectId, const std::string& diskName, const std::string& zone);
    bool DeleteRegionalDisk(const std::string& projectId, const std::string& diskName,
                            const std::string& region);
    // limitExceeded: the VM has as many disks as its machine type allows.
    bool AttachDisk(const std::string& projectId, const std::string& diskName, const std::string& vmName,
                    const std::string& zone, bool& limitExceeded);
    bool DetachDisk(const std::string& projectId, const std::string& diskName, const std::string& vmName,
                    const std::string& zone);
    bool MoveDisk(const std::string& projectId, const std::string& diskName, const std::string& sourceZone,
                  const std::string& destinationZone, SDiskInfoLib& disk);
    // The snapshot record names the snapshot (and may carry labels); after a wait it holds the snapshot.
    bool CreateDiskSnapshot(const std::string& projectId, const std::string& diskName,
                            const std::string& zone, const std::string& region, const bool& regional,
                            const bool& guestFlush, SSnapshotInfoLib& snapshot, const bool& wait);
    bool CreateZonalDiskSnapshot(const std::string& projectId, const std::string& diskName,
                                 const std::string& zone, SSnapshotInfoLib& snapshot, const bool& wait);
    bool CreateRegionalDiskSnapshot(const std::string& projectId, const std::string& diskName,
                                    const std::string& region, SSnapshotInfoLib& snapshot, const bool& wait);
    bool DeleteDiskSnapshot(const std::string& projectId, const std::string& snapshotName);
    // The disk record's raw JSON (the backed-up disk) gives labels, licenses, guest OS features and the
    // interface; the encryption key is the record's own (isEncrypted and encryptionKey: set them from the
    // backed-up disk, CheckAndGetEncryptionKeyName, to keep a customer-managed key).
    bool CreateDiskFromSnapshot(const std::string& projectId, const std::string& snapshot,
                                const std::string& diskName, const std::string& zone,
                                const std::string& region, const bool& regional, const std::string& diskType,
                                SDiskInfoLib& disk, const bool& wait);
    bool CreateZonalDiskFromSnapshot(const std::string& projectId, const std::string& snapshot,
                                     const std::string& diskName, const std::string& zone,
                                     const std::string& diskType, SDiskInfoLib& disk, const bool& wait);
    bool CreateRegionalDiskFromSnapshot(const std::string& projectId, const std::string& snapshot,
                                        const std::string& diskName, const std::string& region,
                                        const std::string& diskType, SDiskInfoLib& disk, const bool& wait);

    // ---- Restore. The VM record names the VM, its zone, its machine type (name) and its disks (each with
    // the saved disk JSON in rawJson); the saved configuration JSON is the backed-up instance resource.
    // overrides maps a saved disk's name to the name of the disk that replaces it.
    bool FillVMInfo(const std::string& projectId, SVMInfoLib& vm, const std::string& configJson,
                    const std::map<std::string, std::string>& overrides);
    bool CreateInstance(const std::string& projectId, SVMInfoLib& vm, const std::string& configJson,
                        bool clearDeletionProtection, const std::map<std::string, std::string>& overrides,
                        bool dropNodeAffinities);
    // The JSON text is the request body, unchanged (as DelayVMDeployment stored it).
    bool CreateInstanceFromJson(const std::string& projectId, const std::string& zone,
                                const std::string& json, SVMInfoLib& vm);
    // Keeps the request body of a restore in a bucket, to be deployed later with CreateInstanceFromJson.
    bool DelayVMDeployment(const std::string& projectId, const std::string& configJson,
                           const std::string& bucket, const std::string& object, SVMInfoLib& vm,
                           bool clearDeletionProtection, const std::map<std::string, std::string>& overrides,
                           bool dropNodeAffinities);
    bool CreateBucket(const std::string& projectId, const std::string& bucket);
    bool DownloadVMInfoFromBucket(const std::string& projectId, const std::string& bucket,
                                  const std::string& object, std::string& json);
    bool GetVMSizeFromVMConfigJson(const std::string& projectId, const std::string& configJson,
                                   SMachineTypeInfoLib& machineType);
    // Whether one of the node-group affinities names a node group that exists in the zone.
    bool CheckValidNodeAffinities(const std::string& projectId, const std::string& zone,
                                  const std::string& vmName, std::vector<SNodeAffinityInfo> affinities);

    // ---- Instances.
    bool DeleteInstance(const std::string& projectId, const std::string& vmName, const std::string& vmId,
                        const std::string& zone, bool deleteDisks);
    bool PowerOffInstance(const std::string& projectId, const std::string& vmName, const std::string& vmId,
                          const std::string& zone);
    bool PowerOnInstance(const std::string& projectId, const std::string& vmName, const std::string& vmId,
                         const std::string& zone);

    // ---- Encryption keys. A key path is a Cloud KMS resource name
    // (projects/P/locations/L/keyRings/R/cryptoKeys/K); a key text is how a disk record keeps its key:
    // a key type, a colon and the key ("kmsKeyName:projects/...", "rawKey:...", "sha256:...").
    // The key resource as Cloud KMS returns it, as JSON text or as a record.
    bool GetKeyInfoAsJson(const std::string& keyPath, std::string& json);
    bool GetKeyInfoAsKey(const std::string& keyPath, SKeyInfoLib& key);
    // Whether the key ring (projects/P/locations/L/keyRings/R) can be read.
    bool CheckKeyRingExists(const std::string& keyRingPath);
    bool CreateKeyRing(const std::string& projectId, const std::string& location, const std::string& keyRing);
    // The record gives the body: purpose, rotation (a next rotation time that is not in the future
    // becomes one period from now) and the version template (algorithm and protection level, both).
    bool CreateKey(const std::string& projectId, const std::string& location, const std::string& keyRing,
                   const std::string& keyId, SKeyInfoLib key);
    // A key with nothing but the purpose ENCRYPT_DECRYPT.
    bool CreateDummyKey(const std::string& projectId, const std::string& location, const std::string& keyRing,
                        const std::string& keyId);
    // The key text of a disk's JSON; true with an empty text for a disk without a key.
    bool CheckAndGetEncryptionKeyName(const std::string& diskJson, std::string& keyText);
    // One JSON object mapping each Cloud KMS key text of the disks to the key resource as JSON text (one
    // request per key however many disks share it). Disks with a key of another type are skipped. True
    // with the text untouched when no disk has a Cloud KMS key.
    bool GetDiskEncryptionInfoJson(const std::vector<SDiskInfoLib>& disks, std::string& json);
    bool GetKeyMapFromDisksEncryptionInfoJson(const std::string& json,
                                              std::unordered_map<std::string, std::string>& keys);
    // Sets the key's rotation period and next rotation time from the key JSON; nothing else changes.
    bool UpdateKey(const std::string& keyText, const std::string& keyJson);
    bool GetKeyTypeAndKeyPath(const std::string& keyText, std::string& keyType, std::string& keyPath);
    // Only Cloud KMS keys ("kmsKeyName") whose protection level is SOFTWARE are supported; when not,
    // detail names the key type or the protection level that is not.
    bool IsKeyTypeSupported(const std::string& keyType, const std::string& keyPath, std::string& detail);
    bool IsKeyLevelSupported(const std::string& protectionLevel);
    // The state and protection level of the key's primary version.
    bool GetKeyStateAndLevel(const std::string& keyJson, std::string& state, std::string& protectionLevel);

    // ---- Disk labels. From a disk's JSON into the map (entries of other keys stay), or read from the cloud.
    bool GetDiskLabels(const std::string& diskJson, std::unordered_map<std::string, std::string>& labels);
    bool GetDiskLabels(const std::string& projectId, const std::string& diskName, const std::string& zone,
                       const std::string& region, const bool& regional,
                       std::vector<SKeyValueInfoLib>& labels);
    // Replaces the disk's labels. The record must carry the disk's JSON as read (disk.rawJson): the label
    // fingerprint comes from it, and Compute Engine refuses the change (412) when the labels changed since.
    bool SetDiskLabels(const std::string& projectId, const SDiskInfoLib& disk, const std::string& zone,
                       const std::string& region, const bool& regional, std::vector<SKeyValueInfoLib> labels);

    // ---- Cloud SQL. The refresh reads the database instances of every project the account can list
    // into the object's cache, replacing what an earlier refresh found; false (and the cache as it was)
    // only when no project answered. The list is the cache.
    bool RefreshDBInstanceInfoList(UINT64 mask, int option);
    bool GetDBInstanceInfoList(std::vector<SDBInstanceInfoLib>& instances, UINT64 mask, int option);

    // ---- Cloud Spanner, and its databases copied to and from Cloud Storage by Dataflow templates.
    bool GetSpannerInstanceConfig(const std::string& projectId, const std::string& configName,
                                  SSpannerInstanceConfigInfoLib& config);
    // An empty project id means every project the account can list.
    bool GetSpannerInstancesList(const std::string& projectId,
                                 std::vector<SSpannerInstanceInfoLib>& instances);
    bool GetSpannerDatabasesList(const std::string& projectId, const std::string& instanceId,
                                 std::vector<SSpannerDatabaseInfoLib>& databases);
    // An empty database; with wait, followed until Spanner reports it done.
    bool CreateSpannerDatabase(const std::string& projectId, const std::string& instanceId,
                               const std::string& databaseId, bool wait);
    // The database as Avro files under the folder (gs://bucket/folder/), by a Dataflow job in the location
    // (a region); with wait, followed until the job ends. The job's end state is the error code of a
    // job that fails or is cancelled.
    bool ExportSpannerDatabase(const std::string& projectId, const std::string& location,
                               const std::string& instanceId, const std::string& databaseId,
                               const std::string& outputFolder, bool wait);
    // An export's folder into the database.
    bool ImportSpannerDatabase(const std::string& projectId, const std::string& location,
                               const std::string& instanceId, const std::string& databaseId,
                               const std::string& inputFolder, bool wait);

    // ---- Projects and storage.
    bool ListProjects(std::vector<SProjectInfoLib>& projects);
    bool GetStorageBuckets(const std::string& projectId, std::vector<SStorageBucketInfoLib>& buckets);
    bool GetStorageObjects(const std::string& bucket, const std::string& delimiter, const std::string& prefix,
                           SStorageObjectsInfoLib& objects);

private:
    // The given project alone, or every project the account can list when the id is empty.
    bool ProjectsFor(const std::string& projectId, std::vector<SProjectInfoLib>& projects);
    // Restore steps shared by CreateInstance, CreateInstanceFromJson and DelayVMDeployment. Their log
    // lines carry the tag of the public method that runs them.
    bool PrepareInstance(const char* tag, const std::string& projectId, SVMInfoLib& vm,
                         const std::string& configJson, bool clearDeletionProtection,
                         const std::map<std::string, std::string>& overrides, bool dropNodeAffinities);
    bool ReadBackCreatedInstance(const char* tag, const std::string& projectId, SVMInfoLib& vm);
    bool PrepareNewDisk(const std::string& projectId, const std::string& diskName, const std::string& zone,
                        const std::string& region, bool regional, SDiskInfoLib& disk);

    ZkGoogleCloudErrorState errorState;
    std::unique_ptr<CGoogleCloudConnection> connection;
    std::unique_ptr<CGoogleCloudQueries> queries;
    std::unique_ptr<CGoogleCloudParser> parser;
    std::unique_ptr<CGoogleCloudOperations> operations;
    std::unique_ptr<ZKVMGuidCache> guidCache;
};

}  // namespace GoogleCloudSDKWrapper
