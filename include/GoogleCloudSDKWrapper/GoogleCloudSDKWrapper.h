/// @file
/// CGoogleCloudSDKWrapper: the one object through which a backup agent reads and changes Google Cloud
/// resources. Every method returns its success; after a failure, GetLastError and GetLastErrorCode
/// tell why. One object is used by one thread at a time.
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

/// The library's facade and records.
namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection;
class CGoogleCloudQueries;
class CGoogleCloudParser;
class CGoogleCloudOperations;

/// Reads and changes Compute Engine, Resource Manager, Cloud SQL, Cloud KMS, Cloud Spanner, Dataflow and
/// Cloud Storage resources for a backup agent, signed in with one service account.
///
/// @par True and false
/// Every method returns its success. A false leaves the reason in the last-error record, read with
/// GetLastError() (a message for people) and GetLastErrorCode() (a code to branch on). A success does
/// not clear the record: read it after a false only. Some checks fail before any request and leave
/// the record as it was; such methods say "refused before any request" (the log says why), and so does
/// a wait that runs out of time ("times out").
///
/// @par Error codes
/// - The HTTP status of a refused request, as decimal text: "400" (a bad argument), "401" (the API
///   refused the token, also once renewed), "403" (the account lacks a permission, or the API is not
///   enabled in the project), "404" (no such resource, or a project the account cannot see), "409"
///   (it exists already), "412" (labels changed since they were read), "429" (quota), "5xx".
/// - "UNAVAILABLE": no answer came (no route, DNS, a TLS failure, a time-out of the HTTP client, an
///   answer larger than nHttpMaxResponseMB), also after the retries of a GET (nHttpRetryAttempts).
/// - "INVALID_RESPONSE": a 2xx answer that is not JSON (empty, cut short, an HTML page).
/// - "FORBIDDEN_HOST": an answer linked to a host that is none of the API hosts; nothing was sent there.
/// - A failed Compute Engine operation: the code of its last error entry, such as
///   "ZONE_RESOURCE_POOL_EXHAUSTED", "LIMIT_EXCEEDED", "QUOTA_EXCEEDED", "IP_IN_USE_BY_ANOTHER_RESOURCE",
///   "RESOURCE_NOT_FOUND", "RESOURCE_IN_USE_BY_ANOTHER_RESOURCE"; ZkGoogleCloudErrorState::httpErrorCode
///   then holds the operation's HTTP status.
/// - Sign-in (Connect()): "INVALID_PRIVATE_KEY", "INVALID_KEY_FILE", "KEY_FILE_NOT_FOUND",
///   "INVALID_TOKEN_RESPONSE", "INTERNAL", or the token endpoint's own code ("invalid_grant", ...).
/// - "INVALID_ARGUMENT": an argument refused before any request (a label key, a Spanner database id).
/// - A Dataflow job that ended badly: "JOB_STATE_FAILED", "JOB_STATE_CANCELLED", "JOB_STATE_UPDATED"; a
///   failed Spanner operation: its google.rpc code as decimal text ("6": already exists).
/// - "-1": RefreshDBInstanceInfoList() found no project that answered.
///
/// @par Arguments most methods share
/// - projectId: a project id ("my-project"). Where a method says so, an empty id means every project
///   ListProjects() returns.
/// - zone, region: names, "us-central1-a" and "us-central1".
/// - regional: the disk is a regional disk, in region (zone is then unused), rather than a zonal disk
///   in zone (region unused).
/// - mask: VM property bits of Types.h (VM_PROP_VM_DISK_LIST, VM_PROP_HOST_VM_LIST,
///   VM_PROP_HOST_NW_LIST); other bits are ignored. 0 reads nothing more.
/// - wait: follow the long-running operation until it is DONE, polling every
///   nGoogleCloudOperationWaitTime seconds for at most nGoogleCloudOperationTimeout (snapshots and disk
///   moves: nGoogleSnapshotPollingInSecs and nGoogleSnapshotTimeoutInSecs). Without it, true means the
///   request was accepted and the operation started.
/// - Output records are filled over what they hold (members the answer lacks keep their values): pass
///   fresh ones. Output vectors of lists are appended to unless a method says otherwise.
///
/// @par Threads
/// One object is used by one thread at a time. Objects are independent: an agent may use one per thread.
class GCSDK_API CGoogleCloudSDKWrapper : public HbDebug {
public:
    /// Builds every component; sends nothing over the network and reads no key.
    CGoogleCloudSDKWrapper();
    ~CGoogleCloudSDKWrapper();
    CGoogleCloudSDKWrapper(const CGoogleCloudSDKWrapper&) = delete;
    CGoogleCloudSDKWrapper& operator=(const CGoogleCloudSDKWrapper&) = delete;

    /// Opens the VM GUID cache (settings sGuidCacheFile, else under dBASEHOME or the user's cache
    /// folder), where the finding methods note where each VM was seen. Call it once, first.
    /// @return false when the cache cannot be opened or created (the log says why; no error code):
    /// the other methods still work, but every search by GUID then scans every project.
    bool Init();
    /// @return always true; kept for callers that probe the object. Sends nothing.
    bool CheckConnection();
    /// Signs in with a service-account key: a JWT signed RS256, exchanged at the OAuth2 token endpoint
    /// for an access token. The token is renewed by itself when it expires or a request meets a 401.
    /// @param keyFileName empty for a JSON key; for a PKCS#12 key its file name, looked up under
    ///        dBASEHOME/certificates/external/, then as given.
    /// @param clientEmail the service account's e-mail (client_email of a JSON key).
    /// @param keyOrPassword the PEM private key (private_key of a JSON key), or the PKCS#12 password.
    /// @return true with a token. False: "KEY_FILE_NOT_FOUND", "INVALID_KEY_FILE" (not PKCS#12, wrong
    /// password), "INVALID_PRIVATE_KEY" (not a PEM RSA key), "INVALID_TOKEN_RESPONSE", "INTERNAL" (the
    /// HTTP client), "UNAVAILABLE", or the token endpoint's refusal ("invalid_grant": an unknown account,
    /// a deleted key, a clock far off).
    bool Connect(const std::string& keyFileName, const std::string& clientEmail,
                 const std::string& keyOrPassword);
    /// Reads the project's Compute Engine resource with the current credential.
    /// @return true when it can be read. A false carries no error of its own beyond the refusal ("403":
    /// no permission or Compute Engine not enabled; "404": no such project).
    bool isProjectAccessible(const std::string& projectId);

    /// @return the message of the last failure; reading it does not clear it.
    std::string GetLastError();
    /// @return the code of the last failure (see the class description); reading it does not clear it.
    std::string GetLastErrorCode();
    /// The instance resource as Compute Engine returns it: by name, or by id as a list holding just it.
    /// @param vmName the VM's name; when empty, vmId (its GUID) is used.
    /// @param json receives the JSON text.
    /// @return false: "404" (no such VM in the zone, by name or by id), another refusal, or both names
    /// empty (refused before any request).
    bool GetInstanceConfigJson(const std::string& projectId, const std::string& vmName,
                               const std::string& vmId, const std::string& zone, std::string& json);

    /// @name Finding VMs
    /// Every VM a list method but GetVMInfoList() returns has its location put in the GUID cache (an
    /// existing entry is kept). VMs come with projectId, region and their attached disks (name,
    /// deviceName, boot, mode, ...); with VM_PROP_VM_DISK_LIST each disk is also read in full (a disk
    /// that cannot be read keeps what the instance says of it).
    /// @{

    /// One VM: in the zone when projectId and zone are both given (by vmGuid, else by vmName), otherwise
    /// by GUID through SearchInstance().
    /// @return false: not found ("404" or no new error), a refusal, or neither zone nor GUID to go on.
    bool GetVMInfo(const std::string& projectId, const std::string& vmName, const std::string& vmGuid,
                   const std::string& zone, SVMInfoLib& vm, UINT64 mask);
    /// A VM by GUID: where the cache last saw it (and there by vmName, for a VM recreated under a new
    /// GUID, whose entry the new GUID then takes over), else by ScanInstanceByGuid().
    /// @param projectId, region, zone receive the VM's location.
    /// @return false: no project holds the GUID (the log says so), an empty GUID, or ListProjects()
    /// failed.
    bool SearchInstance(const std::string& vmGuid, const std::string& vmName, UINT64 mask,
                        std::string& projectId, std::string& region, std::string& zone, SVMInfoLib& vm);
    /// A VM by GUID in every zone of every project ListProjects() returns, the first found; it is
    /// cached. Projects and zones that refuse are passed over. With the setting bAggregatedDiscovery=1
    /// each project is read with one aggregated list (and its pages) instead of its zone list and a
    /// list per zone.
    /// @return false: found nowhere, or ListProjects() failed.
    bool ScanInstanceByGuid(const std::string& vmGuid, UINT64 mask, std::string& projectId,
                            std::string& region, std::string& zone, SVMInfoLib& vm);
    /// Every VM of every project ListProjects() returns, zone by zone (a zone that refuses adds nothing).
    /// @return false when ListProjects() or a project's zone list fails.
    bool GetVMInfoList(std::vector<SVMInfoLib>& vms, UINT64 mask);
    /// The VMs of one zone; an empty projectId means every project. A project that refuses adds nothing.
    /// @return false only when ListProjects() fails.
    bool GetVMInfoListInZone(const std::string& projectId, const std::string& zone,
                             std::vector<SVMInfoLib>& vms, UINT64 mask);
    /// The VMs carrying the label, zone by zone (the zones of the first project that has any); an empty
    /// projectId means every project. A key or value holding '*', '?' or '[...]' is a pattern, matched
    /// without regard to case (GetVMInfoListByLabelRegEx()); otherwise both must match exactly.
    /// @return false: "INVALID_ARGUMENT" for a key Compute Engine cannot filter on (1 to 63 lowercase
    /// letters, digits, '_' and '-'), or ListProjects() failed.
    /// With the setting bAggregatedDiscovery=1 a literal key and value are looked for with one
    /// aggregated list per project (no zone list); patterns are not.
    bool GetVMInfoListByLabel(const std::string& projectId, const std::string& key, const std::string& value,
                              std::vector<SVMInfoLib>& vms, UINT64 mask);
    /// The VMs with a label whose key and value match the wildcard patterns ('*', '?', '[...]'), without
    /// regard to case; every VM of each project is listed and filtered here.
    /// @return false when ListProjects() or a project's zone list fails.
    bool GetVMInfoListByLabelRegEx(const std::string& projectId, const std::string& keyPattern,
                                   const std::string& valuePattern, std::vector<SVMInfoLib>& vms,
                                   UINT64 mask);
    /// The VMs of the region's zones; the region by name, or when region is empty by its id (regionId).
    /// An empty projectId means every project. An unknown region (404) adds nothing.
    /// @return false on another refusal of the region.
    bool GetVMInfoListInRegion(const std::string& projectId, const std::string& region,
                               const std::string& regionId, std::vector<SVMInfoLib>& vms, UINT64 mask);
    /// The VMs of a project, or of every project whose id matches a wildcard pattern ('*', '?', '[...]',
    /// without regard to case), region by region.
    /// @return false when ListProjects() (for a pattern) or the region list fails.
    bool GetVMInfoListInProject(const std::string& projectPattern, std::vector<SVMInfoLib>& vms, UINT64 mask);
    /// Puts each VM's location in the GUID cache unless its GUID is there already. Sends nothing.
    void LookupAndCacheGuid(const std::vector<SVMInfoLib>& vms);
    /// Whether a VM of that name exists: in the zone, else in any zone of the project (with the setting
    /// bAggregatedDiscovery=1, from the project's aggregated list).
    /// @param vm receives the VM when it exists.
    bool DoesVMExist(const std::string& projectId, const std::string& vmName, const std::string& zone,
                     SVMInfoLib& vm);
    /// @}

    /// @name Zones, regions, machine types, networks
    /// @{

    /// A zone; an empty projectId means every project, whose VM and network lists are then merged.
    /// VM_PROP_HOST_VM_LIST fills record.vmList; VM_PROP_HOST_NW_LIST fills record.networkList with the
    /// project's networks, their subnetworks in the zone's region, and the subnetworks shared with the
    /// project by its shared-VPC host.
    /// @param unused not used.
    /// @return true also when no project knows the zone (404): record is then left as it was (its
    /// region empty). False on another refusal, or when networks were asked for and none was found.
    bool GetZoneInfo(const std::string& projectId, const std::string& zone, const std::string& unused,
                     SZoneInfoLib& record, UINT64 mask);
    /// The zones of a project; an empty projectId means the first project that has any (every project
    /// with VM_PROP_HOST_VM_LIST, which fills each zone's VM list). A 404 is an empty list.
    bool GetZoneInfoList(const std::string& projectId, std::vector<SZoneInfoLib>& zones, UINT64 mask);
    /// The zones of a region (name and selfLink each), replacing the vector's content. An unknown region
    /// (404) leaves the vector as it was and is true.
    bool GetZoneInfoListInRegion(const std::string& projectId, const std::string& region,
                                 std::vector<SZoneInfoLib>& zones, UINT64 mask);
    /// A region by name, or when region is empty by id (regionId).
    /// @return true without a change when both are empty; false when no region has the id (no error
    /// set) or the read is refused ("404" for an unknown name).
    bool GetRegionInfo(const std::string& projectId, const std::string& region, const std::string& regionId,
                       SRegionInfoLib& record, UINT64 mask);
    /// The regions of a project; an empty projectId means the first project that has any.
    bool GetRegionInfoList(const std::string& projectId, std::vector<SRegionInfoLib>& regions, UINT64 mask);
    /// A machine type in a zone.
    /// @param machineType a name or a URL (its last segment is used).
    /// @param record its zone must name the zone; receives the machine type.
    bool GetMachineTypeInfo(const std::string& projectId, const std::string& machineType,
                            SMachineTypeInfoLib& record, UINT64 mask);
    /// The machine types of a zone; a 404 is an empty list.
    bool GetMachineTypesInfoList(const std::string& projectId, const std::string& zone,
                                 std::vector<SMachineTypeInfoLib>& machineTypes, UINT64 mask);
    /// The URL of a machine type (a name or a URL) in a zone; url is emptied first.
    bool GetMachineTypeUri(const std::string& projectId, const std::string& machineType,
                           const std::string& zone, std::string& url);
    /// A network by name.
    bool GetNetworkInfo(const std::string& projectId, const std::string& network, SNetworkInfoLib& record,
                        UINT64 mask);
    /// The networks of a project (each with the names and URLs of its subnetworks); a 404 is an empty
    /// list.
    bool GetNetworkList(const std::string& projectId, std::vector<SNetworkInfoLib>& networks, UINT64 mask);
    /// The URL of a network given by name.
    bool GetNetworkUri(const std::string& projectId, const std::string& network, std::string& url);
    /// A subnetwork of a region.
    /// @param subnetwork a name or a URL (its last segment is used).
    /// @param record its region must name the region; receives the subnetwork.
    bool GetSubNetworkInfo(const std::string& projectId, const std::string& subnetwork,
                           SSubnetInfoLib& record, UINT64 mask);
    /// The subnetworks of a region, of the network whose URL is given (all when networkUrl is empty);
    /// a 404 is an empty list.
    /// @param zone not used.
    bool GetSubNetworkList(const std::string& projectId, const std::string& zone, const std::string& region,
                           const std::string& networkUrl, std::vector<SSubnetInfoLib>& subnets, UINT64 mask);
    /// @}

    /// @name Disks, snapshots, images, licenses
    /// @{

    /// A disk resource, with disk.rawJson the resource as read (keep it: restores and SetDiskLabels()
    /// take their details from it).
    /// @return false: "404" for no such disk, another refusal.
    bool GetDiskInfo(const std::string& projectId, const std::string& diskName, const std::string& zone,
                     const std::string& region, const bool& regional, SDiskInfoLib& disk, UINT64 mask);
    /// Whether a disk of exactly that name is in the zone (or region); any failure is a false.
    bool DoesDiskExist(const std::string& projectId, const std::string& diskName, const std::string& zone,
                       const std::string& region, const bool& regional);
    /// A disk's status ("CREATING", "READY", "FAILED", "DELETING", ...); status is emptied when the disk
    /// cannot be read.
    bool GetDiskState(const std::string& projectId, const std::string& zone, const std::string& region,
                      const bool& regional, const std::string& diskName, std::string& status);
    /// The URL of a disk type ("pd-ssd") in the zone or the region.
    /// @return false: "404" for a type the place lacks; refused before any request with an empty type
    /// or place.
    bool GetDiskTypeUri(const std::string& projectId, const std::string& diskType, const std::string& zone,
                        const std::string& region, const bool& regional, std::string& url);
    /// The URL of a disk type in a zone, as GetDiskTypeUri().
    bool GetZonalDiskTypeUri(const std::string& projectId, const std::string& diskType,
                             const std::string& zone, std::string& url);
    /// The URL of a disk type in a region, as GetDiskTypeUri().
    bool GetRegionalDiskTypeUri(const std::string& projectId, const std::string& diskType,
                                const std::string& region, std::string& url);
    /// A disk resource's JSON text (as saved by a backup) into a record. Sends nothing.
    /// @return false when the text is not a JSON object.
    bool ParseDiskInfo(const std::string& diskJson, SDiskInfoLib& disk);
    /// The replica zones (names) and the URL of the disk in a disk resource's JSON text. Sends nothing.
    bool ParseReplicaZonesFromJson(const std::string& diskJson, std::vector<std::string>& replicaZones,
                                   std::string& diskUrl);
    /// A snapshot by name.
    /// @return false: "404" for no such snapshot, another refusal.
    bool GetSnapshotInfo(const std::string& projectId, const std::string& snapshot, SSnapshotInfoLib& record,
                         UINT64 mask);
    /// The snapshots of a project; a 404 is an empty list.
    bool GetSnapshotList(const std::string& projectId, std::vector<SSnapshotInfoLib>& snapshots, UINT64 mask);
    /// Whether the snapshot can be read; any failure (a 403 too) is a false.
    bool DoesSnapshotExist(const std::string& projectId, const std::string& snapshot);
    /// A snapshot's status ("CREATING", "UPLOADING", "READY", "FAILED", "DELETING"); emptied when it
    /// cannot be read.
    bool GetSnapshotState(const std::string& projectId, const std::string& snapshot, std::string& status);
    /// The URL of a snapshot given by name.
    bool GetSnapshotUri(const std::string& projectId, const std::string& snapshot, std::string& url);
    /// One of the project's own images, by name.
    bool GetImageInfo(const std::string& projectId, const std::string& image, SImageInfoLib& record,
                      UINT64 mask);
    /// The project's own images; a 404 is an empty list.
    bool GetImageList(const std::string& projectId, std::vector<SImageInfoLib>& images, UINT64 mask);
    /// The licenses published by the public image project of an operating system (GetImageProjectId()).
    /// @param osDescription "Windows Server 2019", "Ubuntu 22.04", ...
    /// @return false: no image project is known for it (no error set), or the list failed.
    bool GetLicensesForProject(const std::string& osDescription, std::vector<SLicenseInfoLib>& licenses);
    /// The public image project of an operating system, from words in its description (without regard
    /// to case): Microsoft or Windows: windows-cloud; Red Hat or rhel: rhel-cloud; sles or suse:
    /// suse-cloud; ubuntu: ubuntu-os-cloud; centos: centos-cloud; fedora-coreos-cloud: fedora-cloud; other
    /// Linux: centos-cloud. Sends nothing.
    /// @return the project id; empty when none is known.
    std::string GetImageProjectId(const std::string& osDescription);
    /// @}

    /// @name Changing disks and snapshots
    /// Each waits for Compute Engine's operation unless a wait argument says otherwise; a failed
    /// operation leaves its error code (see the class description).
    /// @{

    /// A new disk, zonal or regional, as CreateZonalDisk() or CreateRegionalDisk().
    bool CreateDisk(const std::string& projectId, const std::string& diskName, const std::string& zone,
                    const std::string& region, const bool& regional, SDiskInfoLib& disk);
    /// A new zonal disk, waited for and read back into disk.
    /// @param disk the body: sizeGb (required), type (a disk type name, made a URL), sourceSnapshot,
    ///        sourceImage or sourceDisk, description, key (isEncrypted, encryptionKey); a disk.rawJson
    ///        (a saved disk) gives its labels, licenses and guest OS features. Receives the new disk.
    /// @return false: refused (no disk requested) without a size, or with a key text that is not
    /// "type:key"; "404" for an unknown disk type; a refusal or failed operation.
    bool CreateZonalDisk(const std::string& projectId, const std::string& diskName, const std::string& zone,
                         SDiskInfoLib& disk);
    /// A new regional disk, as CreateZonalDisk(); disk.replicaZones (from disk.rawJson when it has them)
    /// must name two zones of the region, else it is refused before any request.
    bool CreateRegionalDisk(const std::string& projectId, const std::string& diskName,
                            const std::string& region, SDiskInfoLib& disk);
    /// A new disk (disk.name) copied from another disk, with disk's key when it has one.
    /// @param sourceDisk the disk to copy: a URL or a relative name (projects/P/zones/Z/disks/D).
    /// @param disk names the new disk; with wait it receives the new disk as read back.
    /// @return false: refused before any request without a name or a source; a refusal or failed
    /// operation.
    bool CloneDisk(const std::string& projectId, const std::string& zone, const std::string& region,
                   const std::string& sourceDisk, const bool& regional, const bool& wait, SDiskInfoLib& disk);
    /// Deletes a disk, waiting for it to go.
    /// @return true when the disk is gone, also when it was gone already (its read answered 404); false
    /// on any other failure of the read ("403", "UNAVAILABLE": it may still exist), or of the deletion
    /// ("400" for a disk still attached to a VM, the message naming it).
    bool DeleteDisk(const std::string& projectId, const std::string& diskName, const std::string& zone,
                    const std::string& region, const bool& regional);
    /// Deletes a zonal disk, as DeleteDisk().
    bool DeleteZonalDisk(const std::string& projectId, const std::string& diskName, const std::string& zone);
    /// Deletes a regional disk, as DeleteDisk().
    bool DeleteRegionalDisk(const std::string& projectId, const std::string& diskName,
                            const std::string& region);
    /// Attaches a zonal disk of the VM's zone to the VM (read-write).
    /// @param limitExceeded true when the operation failed with "LIMIT_EXCEEDED" (the VM has as many
    ///        disks as its machine type allows), false after a success, untouched otherwise.
    /// @return false: "404" for the disk, a refusal, a failed operation.
    bool AttachDisk(const std::string& projectId, const std::string& diskName, const std::string& vmName,
                    const std::string& zone, bool& limitExceeded);
    /// Detaches a zonal disk from the VM, by the device name the VM gives it.
    /// @return true also when the disk is attached to no VM (nothing is sent); false when the disk or
    /// the VM cannot be read, the VM does not have the disk (no error set), or the operation fails.
    bool DetachDisk(const std::string& projectId, const std::string& diskName, const std::string& vmName,
                    const std::string& zone);
    /// Moves a zonal disk to another zone of the project (Compute Engine's moveDisk) and reads it there.
    /// @return true at once when both zones are the same; false when the disk or the zone cannot be
    /// read, or the move fails.
    bool MoveDisk(const std::string& projectId, const std::string& diskName, const std::string& sourceZone,
                  const std::string& destinationZone, SDiskInfoLib& disk);
    /// Snapshots a disk, zonal or regional.
    /// @param guestFlush ask the guest to flush first, for an application-consistent snapshot (the VM
    ///        needs Google's guest environment).
    /// @param snapshot names the snapshot (required) and may carry labels and a description; after a
    ///        wait it receives the snapshot.
    /// @param wait follow the operation (snapshot timing settings); without it, true means the snapshot
    ///        was requested: snapshot every disk of a VM first, then wait, so that they are taken
    ///        together.
    /// @return false: refused before any request without a snapshot or disk name; "404" for the disk;
    /// "409" for a snapshot name in use; a failed operation.
    bool CreateDiskSnapshot(const std::string& projectId, const std::string& diskName,
                            const std::string& zone, const std::string& region, const bool& regional,
                            const bool& guestFlush, SSnapshotInfoLib& snapshot, const bool& wait);
    /// Snapshots a zonal disk, as CreateDiskSnapshot() with snapshot.guestFlush as given.
    bool CreateZonalDiskSnapshot(const std::string& projectId, const std::string& diskName,
                                 const std::string& zone, SSnapshotInfoLib& snapshot, const bool& wait);
    /// Snapshots a regional disk, as CreateDiskSnapshot() with snapshot.guestFlush as given.
    bool CreateRegionalDiskSnapshot(const std::string& projectId, const std::string& diskName,
                                    const std::string& region, SSnapshotInfoLib& snapshot, const bool& wait);
    /// Deletes a snapshot, waiting for it to go.
    /// @return false: "404" for no such snapshot, a refusal or failed operation.
    bool DeleteDiskSnapshot(const std::string& projectId, const std::string& snapshotName);
    /// A new disk from a snapshot, as large as the snapshot.
    /// @param snapshot the snapshot's URL (GetSnapshotUri()) or relative name.
    /// @param diskType a disk type name; empty: the project's default (pd-standard).
    /// @param disk its rawJson (the backed-up disk) gives labels, licenses, guest OS features and the
    ///        interface; the key is the record's own (isEncrypted and encryptionKey: set them from the
    ///        backed-up disk, CheckAndGetEncryptionKeyName(), to keep a customer-managed key). A regional
    ///        disk goes to disk.replicaZones, else to the saved disk's. After a wait it receives the new
    ///        disk.
    /// @return false: refused (no disk requested) without a disk name or snapshot, and before any request
    /// when disk.rawJson is not JSON; "404" for the disk type or the snapshot; "400" for a key Cloud KMS
    /// refuses to the Compute Engine service agent; a failed operation.
    bool CreateDiskFromSnapshot(const std::string& projectId, const std::string& snapshot,
                                const std::string& diskName, const std::string& zone,
                                const std::string& region, const bool& regional, const std::string& diskType,
                                SDiskInfoLib& disk, const bool& wait);
    /// A new zonal disk from a snapshot, as CreateDiskFromSnapshot() but with the record's own labels,
    /// licenses, key and interface: disk.rawJson is not read.
    bool CreateZonalDiskFromSnapshot(const std::string& projectId, const std::string& snapshot,
                                     const std::string& diskName, const std::string& zone,
                                     const std::string& diskType, SDiskInfoLib& disk, const bool& wait);
    /// A new regional disk from a snapshot, as CreateZonalDiskFromSnapshot(); its replica zones are
    /// disk.replicaZones, else those of the saved disk in disk.rawJson.
    bool CreateRegionalDiskFromSnapshot(const std::string& projectId, const std::string& snapshot,
                                        const std::string& diskName, const std::string& region,
                                        const std::string& diskType, SDiskInfoLib& disk, const bool& wait);
    /// @}

    /// @name Restore
    /// The VM record names the new VM, its zone, its machine type (a name) and its disks (each restored
    /// disk by name, with the saved disk's JSON in rawJson); the saved configuration JSON is the
    /// backed-up instance resource (GetInstanceConfigJson()).
    /// @{

    /// Completes the VM record for a restore: the region from the zone, the machine type's URL, CPUs and
    /// memory, the saved VM's description, tags, metadata, labels, scheduling, flags and shielded and
    /// confidential settings, each disk as it now is, the boot disk first. A network interface named
    /// by a URL is that network; one named as a saved interface ("nic0"), or by one digit N for the
    /// saved "nic(N-1)", takes that interface's network, subnetwork and address.
    /// @param overrides maps a saved disk's name to the restored disk that replaces it, which keeps the
    ///        saved disk's mode, auto-delete and (unless given) device name.
    /// @return false: refused before any request without a name, zone, machine type or disks, and (no new
    /// error) for an interface the saved configuration lacks or a zone no project knows; "404" for the
    /// machine type or a disk.
    bool FillVMInfo(const std::string& projectId, SVMInfoLib& vm, const std::string& configJson,
                    const std::map<std::string, std::string>& overrides);
    /// Restores a VM: FillVMInfo(), then the instance is created and read back into vm. A creation that
    /// fails with zone exhaustion is tried again (nGoogleOperationRetryAttempts times, every
    /// nGoogleOperationRetryIntervalInSeconds), and one that fails because a saved internal address is
    /// in use is tried again with that address left to Compute Engine.
    /// @param clearDeletionProtection create the VM without deletion protection.
    /// @param dropNodeAffinities drop the saved sole-tenant node affinities; otherwise they are kept
    ///        only when CheckValidNodeAffinities() finds one of their node groups in the zone.
    /// @return false as FillVMInfo(), or the creation's refusal or failed operation ("409": a VM of that
    /// name exists; "ZONE_RESOURCE_POOL_EXHAUSTED" after the last attempt; "QUOTA_EXCEEDED").
    bool CreateInstance(const std::string& projectId, SVMInfoLib& vm, const std::string& configJson,
                        bool clearDeletionProtection, const std::map<std::string, std::string>& overrides,
                        bool dropNodeAffinities);
    /// Creates a VM from a request body kept by DelayVMDeployment(), unchanged, with the same retries
    /// for zone exhaustion as CreateInstance(); vm receives the created VM.
    /// @param zone the zone the kept body was planned for (its machine type and disks are there).
    /// @return false: the text is not JSON (refused before any request), the creation fails.
    bool CreateInstanceFromJson(const std::string& projectId, const std::string& zone,
                                const std::string& json, SVMInfoLib& vm);
    /// Prepares a restore as CreateInstance() does, and keeps its request body in a Cloud Storage object
    /// (creating the bucket when it is not there) to be deployed later with DownloadVMInfoFromBucket() and
    /// CreateInstanceFromJson(). Creates no VM.
    /// @return false as FillVMInfo(), or the bucket or the upload is refused.
    bool DelayVMDeployment(const std::string& projectId, const std::string& configJson,
                           const std::string& bucket, const std::string& object, SVMInfoLib& vm,
                           bool clearDeletionProtection, const std::map<std::string, std::string>& overrides,
                           bool dropNodeAffinities);
    /// Creates a bucket in the project, with Cloud Storage's defaults (location US, class STANDARD),
    /// unless a bucket of that name can be read already.
    /// @return false: "409" for a name taken by another project, "400" for a name Cloud Storage refuses.
    bool CreateBucket(const std::string& projectId, const std::string& bucket);
    /// Downloads an object kept by DelayVMDeployment().
    /// @return false: the bucket cannot be read, the object cannot be downloaded ("404"), or it is not a
    /// VM configuration (no JSON object).
    bool DownloadVMInfoFromBucket(const std::string& projectId, const std::string& bucket,
                                  const std::string& object, std::string& json);
    /// The machine type of a saved configuration (its zone and machine type), read from the cloud.
    /// @return false: the text is not JSON, the machine type cannot be read ("404").
    bool GetVMSizeFromVMConfigJson(const std::string& projectId, const std::string& configJson,
                                   SMachineTypeInfoLib& machineType);
    /// Whether one of the node-group affinities (key compute.googleapis.com/node-group-name, operator IN)
    /// names a node group that exists in the zone.
    /// @param vmName for the log only.
    bool CheckValidNodeAffinities(const std::string& projectId, const std::string& zone,
                                  const std::string& vmName, std::vector<SNodeAffinityInfo> affinities);
    /// @}

    /// @name Instances
    /// The VM by name, or by GUID (vmId) when vmName is empty.
    /// @{

    /// Deletes a VM, waiting for it to go.
    /// @param deleteDisks then also delete every disk it had (a disk that fails is logged; the VM is
    ///        gone either way and the result is true).
    /// @return false: "404" or no new error for a VM not found in the zone, the deletion's refusal or
    /// failed operation.
    bool DeleteInstance(const std::string& projectId, const std::string& vmName, const std::string& vmId,
                        const std::string& zone, bool deleteDisks);
    /// Stops a VM (its disks stay), waiting for the operation. Without a zone the VM is looked up in
    /// every zone of the project first.
    bool PowerOffInstance(const std::string& projectId, const std::string& vmName, const std::string& vmId,
                          const std::string& zone);
    /// Starts a stopped VM, waiting for the operation, as PowerOffInstance().
    bool PowerOnInstance(const std::string& projectId, const std::string& vmName, const std::string& vmId,
                         const std::string& zone);
    /// @}

    /// @name Encryption keys
    /// A key path is a Cloud KMS resource name (projects/P/locations/L/keyRings/R/cryptoKeys/K); a key
    /// text is how a disk record keeps its key: a key type, a colon and the key
    /// ("kmsKeyName:projects/...", "rawKey:...", "sha256:...").
    /// @{

    /// The key resource as Cloud KMS returns it, as JSON text.
    /// @return false: "404" for no such key, "403" for no permission (cloudkms.cryptoKeys.get).
    bool GetKeyInfoAsJson(const std::string& keyPath, std::string& json);
    /// The key resource as a record, as GetKeyInfoAsJson().
    bool GetKeyInfoAsKey(const std::string& keyPath, SKeyInfoLib& key);
    /// Whether the key ring (projects/P/locations/L/keyRings/R) can be read; a false says why ("404").
    bool CheckKeyRingExists(const std::string& keyRingPath);
    /// Creates a key ring. Cloud KMS answers at once: there is nothing to wait for.
    /// @param location a region, a multi-region ("us") or "global".
    /// @return false: "409" for a key ring that exists, "403", "400" for a bad name or location.
    bool CreateKeyRing(const std::string& projectId, const std::string& location, const std::string& keyRing);
    /// Creates a key in a key ring.
    /// @param key the body: purpose, rotation (a next rotation time that is not in the future becomes
    ///        one period from now) and the version template (algorithm and protection level, both).
    /// @return false: refused before any request for a rotation period that is no number of seconds;
    /// "409" for a key that exists, "404" for no such key ring, "400".
    bool CreateKey(const std::string& projectId, const std::string& location, const std::string& keyRing,
                   const std::string& keyId, SKeyInfoLib key);
    /// Creates a key with nothing but the purpose ENCRYPT_DECRYPT, as CreateKey().
    bool CreateDummyKey(const std::string& projectId, const std::string& location, const std::string& keyRing,
                        const std::string& keyId);
    /// The key text of a disk resource's JSON, the version of a Cloud KMS key left out. Sends nothing.
    /// @return true with an empty text for a disk without a key; false when the text is not JSON.
    bool CheckAndGetEncryptionKeyName(const std::string& diskJson, std::string& keyText);
    /// One JSON object mapping each Cloud KMS key text of the disks to the key resource as JSON text,
    /// one request per key however many disks share it. Disks with a key of another type are skipped
    /// (a customer-supplied key never leaves the process), and a key that cannot be read maps to "".
    /// @return true, with json untouched when no disk has a Cloud KMS key.
    bool GetDiskEncryptionInfoJson(const std::vector<SDiskInfoLib>& disks, std::string& json);
    /// The map of a GetDiskEncryptionInfoJson() text (key text to key JSON) into keys. Sends nothing.
    /// @return false when the text is not an object of strings.
    bool GetKeyMapFromDisksEncryptionInfoJson(const std::string& json,
                                              std::unordered_map<std::string, std::string>& keys);
    /// Sets a key's rotation period and next rotation time from the key JSON (nothing else changes; a
    /// next rotation that is due becomes one period from now).
    /// @param keyText the key text of a disk ("kmsKeyName:projects/...").
    /// @return false: the JSON or the key text cannot be read (before any request), "404", "403", "400".
    bool UpdateKey(const std::string& keyText, const std::string& keyJson);
    /// Splits a key text into its type and its path. Sends nothing.
    /// @return false when it has no colon.
    bool GetKeyTypeAndKeyPath(const std::string& keyText, std::string& keyType, std::string& keyPath);
    /// Whether the library can restore a disk with this key: only Cloud KMS keys ("kmsKeyName") whose
    /// protection level is SOFTWARE. Reads the key.
    /// @param detail receives the key type, or the protection level that is not supported.
    /// @return false also when the key cannot be read (the error says why).
    bool IsKeyTypeSupported(const std::string& keyType, const std::string& keyPath, std::string& detail);
    /// Whether a protection level is supported: "SOFTWARE" only.
    bool IsKeyLevelSupported(const std::string& protectionLevel);
    /// The state and protection level of the key's primary version, from the key JSON. Sends nothing.
    bool GetKeyStateAndLevel(const std::string& keyJson, std::string& state, std::string& protectionLevel);
    /// @}

    /// @name Disk labels
    /// @{

    /// The labels of a disk resource's JSON into the map (entries of other keys stay). Sends nothing.
    /// @return false when the text is not JSON.
    bool GetDiskLabels(const std::string& diskJson, std::unordered_map<std::string, std::string>& labels);
    /// The labels of a disk read from the cloud, replacing the vector's content.
    bool GetDiskLabels(const std::string& projectId, const std::string& diskName, const std::string& zone,
                       const std::string& region, const bool& regional,
                       std::vector<SKeyValueInfoLib>& labels);
    /// Replaces the disk's labels with these (the operation is not followed).
    /// @param disk names the disk and must carry its JSON as read (disk.rawJson, GetDiskInfo()): the
    ///        label fingerprint comes from it.
    /// @return false: "412" when the labels changed since the disk was read (read it again and retry);
    /// refused before any request when disk.rawJson is not JSON.
    bool SetDiskLabels(const std::string& projectId, const SDiskInfoLib& disk, const std::string& zone,
                       const std::string& region, const bool& regional, std::vector<SKeyValueInfoLib> labels);
    /// @}

    /// @name Cloud SQL
    /// @{

    /// Reads the database instances of every project the account can list into the object's cache,
    /// replacing what an earlier refresh found. A project that refuses (Cloud SQL admin API not
    /// enabled: "403") adds nothing.
    /// @param mask, option not used.
    /// @return false, and the cache as it was, only when no project answered ("-1") or ListProjects()
    /// failed.
    bool RefreshDBInstanceInfoList(UINT64 mask, int option);
    /// The cache of the last refresh, replacing the vector's content; always true. Sends nothing.
    /// @param mask, option not used.
    bool GetDBInstanceInfoList(std::vector<SDBInstanceInfoLib>& instances, UINT64 mask, int option);
    /// @}

    /// @name Cloud Spanner
    /// And its databases copied to and from Cloud Storage by Google's Dataflow templates.
    /// @{

    /// An instance configuration by id ("regional-us-central1").
    bool GetSpannerInstanceConfig(const std::string& projectId, const std::string& configName,
                                  SSpannerInstanceConfigInfoLib& config);
    /// The Spanner instances of a project; an empty project id means every project the account can list.
    /// A project that refuses, or has none, adds nothing.
    /// @return false only when ListProjects() fails.
    bool GetSpannerInstancesList(const std::string& projectId,
                                 std::vector<SSpannerInstanceInfoLib>& instances);
    /// The databases of an instance; a 404 is an empty list.
    bool GetSpannerDatabasesList(const std::string& projectId, const std::string& instanceId,
                                 std::vector<SSpannerDatabaseInfoLib>& databases);
    /// Creates an empty database; with wait, followed until Spanner reports it done (every
    /// nGoogleOperationRetryIntervalInSeconds, for at most nGoogleCloudOperationTimeout).
    /// @return false: "INVALID_ARGUMENT" for an id that is no Spanner database id (2 to 30 lowercase
    /// letters, digits, '_' and '-', from a letter to a letter or digit); "409", "404"; a failed
    /// operation's google.rpc code ("6").
    bool CreateSpannerDatabase(const std::string& projectId, const std::string& instanceId,
                               const std::string& databaseId, bool wait);
    /// Exports the database as Avro files under the folder by a Dataflow job of Google's
    /// Cloud_Spanner_to_GCS_Avro template; with wait, followed until the job ends (timing as
    /// CreateSpannerDatabase()).
    /// @param location the region the job runs in.
    /// @param outputFolder gs://bucket/folder/.
    /// @return false: the launch is refused ("400", "403"), or the job ends in "JOB_STATE_FAILED",
    /// "JOB_STATE_CANCELLED" or "JOB_STATE_UPDATED" (that is the error code).
    bool ExportSpannerDatabase(const std::string& projectId, const std::string& location,
                               const std::string& instanceId, const std::string& databaseId,
                               const std::string& outputFolder, bool wait);
    /// Imports an export's folder into the database by Google's GCS_Avro_to_Cloud_Spanner template, as
    /// ExportSpannerDatabase().
    bool ImportSpannerDatabase(const std::string& projectId, const std::string& location,
                               const std::string& instanceId, const std::string& databaseId,
                               const std::string& inputFolder, bool wait);
    /// @}

    /// @name Projects and storage
    /// @{

    /// The projects the account can see (Resource Manager), every page.
    /// @return false: a refusal ("403": Resource Manager API not enabled), or an answer without a list,
    /// which is also how Resource Manager answers an account that sees no project.
    bool ListProjects(std::vector<SProjectInfoLib>& projects);
    /// The Cloud Storage buckets of a project, every page; nothing is appended unless all pages are read.
    /// @return false also for a project without buckets (Cloud Storage then answers without a list).
    bool GetStorageBuckets(const std::string& projectId, std::vector<SStorageBucketInfoLib>& buckets);
    /// The objects and prefixes of a bucket, every page.
    /// @param delimiter groups the names by it into prefixes ("/" for folders); empty: none.
    /// @param prefix only names that start with it; empty: all.
    bool GetStorageObjects(const std::string& bucket, const std::string& delimiter, const std::string& prefix,
                           SStorageObjectsInfoLib& objects);
    /// @}

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
