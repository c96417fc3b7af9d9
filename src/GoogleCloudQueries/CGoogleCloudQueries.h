// Every read-only request against the APIs. Paths are relative to a project's Compute Engine base
// unless they are absolute URLs; every value put into a path goes through the URL helper.
//
// Lists follow "nextPageToken" to their last page. List queries treat a 404 as an empty answer (true,
// nothing added, "404" left in the error state) and record every other refusal in the error state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "GoogleCloudSDKWrapper/Records.h"
#include "GoogleCloudSDKWrapper/Types.h"
#include "host/HbDebug.h"

namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection;
class CGoogleCloudParser;

class CGoogleCloudQueries : public CGoogleCloudErrorHandler {
public:
    // The connection and the parser are borrowed from the facade, never freed here.
    CGoogleCloudQueries(ZkGoogleCloudErrorState* state, CGoogleCloudConnection* connection,
                        CGoogleCloudParser* parser);
    ~CGoogleCloudQueries();
    CGoogleCloudQueries(const CGoogleCloudQueries&) = delete;
    CGoogleCloudQueries& operator=(const CGoogleCloudQueries&) = delete;

    // Instances.
    bool GetInstanceConfigJson(const std::string& projectId, const std::string& vmName,
                               const std::string& vmId, const std::string& zone, std::string& json);
    bool ParseZonesForVMParam(const std::string& projectId, const std::string& zone, const std::string& field,
                              const std::string& value, SVMInfoLib& vm);
    bool GetAdditionalVMProp(const std::string& projectId, SVMInfoLib& vm, UINT64 mask);
    bool GetVMInfo(const std::string& projectId, const std::string& vmName, const std::string& vmId,
                   const std::string& zone, SVMInfoLib& vm, UINT64 mask);
    bool GetDeviceName(const std::string& projectId, const std::string& diskName, const std::string& vmName,
                       const std::string& zone, std::string& deviceName);
    bool GetVMInfoList(const std::string& projectId, std::vector<SVMInfoLib>& vms, UINT64 mask);
    bool GetVMInfoListInProject(const std::string& projectPattern, std::vector<SVMInfoLib>& vms, UINT64 mask);
    bool GetVMInfoListInRegion(const std::string& projectId, const std::string& region,
                               const std::string& regionId, std::vector<SVMInfoLib>& vms, UINT64 mask);
    bool GetVMInfoListInZone(const std::string& projectId, const std::string& zone,
                             std::vector<SVMInfoLib>& vms, UINT64 mask);
    bool GetVMInfoListByLabel(const std::string& projectId, const std::string& zone, const std::string& key,
                              const std::string& value, std::vector<SVMInfoLib>& vms, UINT64 mask);
    // The VMs of every zone of the project carrying the label, from the project's aggregated list: a
    // 404 is an empty answer, any other refusal is recorded and fails.
    bool GetVMInfoListByLabelInAllZones(const std::string& projectId, const std::string& key,
                                        const std::string& value, std::vector<SVMInfoLib>& vms, UINT64 mask);
    // Whether VM searches read a project's aggregated instance list instead of a list per zone
    // (settings bAggregatedDiscovery, read when the queries are made).
    bool AggregatedDiscovery() const { return aggregatedDiscovery; }
    // True for a key that can go into a label filter; else the error state says why (INVALID_ARGUMENT).
    bool CheckLabelKey(const char* tag, const std::string& key);
    bool DoesVMExist(const std::string& projectId, const std::string& vmName, const std::string& zone,
                     SVMInfoLib& vm);

    // Disks, disk types, images, snapshots, licenses, node groups.
    bool GetZonalDiskInfo(const std::string& projectId, const std::string& diskName, const std::string& zone,
                          SDiskInfoLib& disk, UINT64 mask);
    bool GetRegionalDiskInfo(const std::string& projectId, const std::string& diskName,
                             const std::string& region, SDiskInfoLib& disk, UINT64 mask);
    bool _GetDiskInfo(const std::string& projectId, const std::string& path, SDiskInfoLib& disk, UINT64 mask);
    bool DoesZonalDiskExist(const std::string& projectId, const std::string& diskName,
                            const std::string& zone);
    bool DoesRegionalDiskExist(const std::string& projectId, const std::string& diskName,
                               const std::string& region);
    bool _DoesDiskExist(const std::string& projectId, const std::string& path, const std::string& diskName);
    bool GetZonalDiskTypeInfo(const std::string& projectId, const std::string& diskType,
                              const std::string& zone, SDiskTypeInfoLib& record);
    bool GetRegionalDiskTypeInfo(const std::string& projectId, const std::string& diskType,
                                 const std::string& region, SDiskTypeInfoLib& record);
    bool _GetDiskTypeInfo(const std::string& projectId, const std::string& diskType, const std::string& path,
                          SDiskTypeInfoLib& record);
    bool GetImageInfo(const std::string& projectId, const std::string& image, SImageInfoLib& record,
                      UINT64 mask);
    bool GetImageList(const std::string& projectId, std::vector<SImageInfoLib>& images, UINT64 mask);
    bool GetSnapshotInfo(const std::string& projectId, const std::string& snapshot, SSnapshotInfoLib& record,
                         UINT64 mask);
    bool GetSnapshotList(const std::string& projectId, std::vector<SSnapshotInfoLib>& snapshots, UINT64 mask);
    bool DoesSnapshotExist(const std::string& projectId, const std::string& snapshot);
    bool DoesNodeGroupExist(const std::string& projectId, const std::string& zone,
                            const std::string& nodeGroup);
    bool GetLicensesForProject(const std::string& imageProjectId, std::vector<SLicenseInfoLib>& licenses);

    // Zones, regions, machine types.
    bool GetZoneInfo(const std::string& projectId, const std::string& zone, SZoneInfoLib& record,
                     UINT64 mask);
    bool GetZoneInfoList(const std::string& projectId, std::vector<SZoneInfoLib>& zones, UINT64 mask);
    bool GetZoneInfoListInRegion(const std::string& projectId, const std::string& region,
                                 std::vector<SZoneInfoLib>& zones, UINT64 mask);
    bool GetRegionInfo(const std::string& projectId, const std::string& region, const std::string& regionId,
                       SRegionInfoLib& record, UINT64 mask);
    bool GetRegionInfoList(const std::string& projectId, std::vector<SRegionInfoLib>& regions, UINT64 mask);
    bool GetMachineTypeInfo(const std::string& projectId, const std::string& machineType,
                            SMachineTypeInfoLib& record, UINT64 mask);
    bool GetMachineTypesInfoList(const std::string& projectId, const std::string& zone,
                                 std::vector<SMachineTypeInfoLib>& machineTypes, UINT64 mask);

    // Networks, subnetworks, shared VPC.
    bool GetNetworkInfo(const std::string& projectId, const std::string& network, SNetworkInfoLib& record,
                        UINT64 mask);
    bool GetNetworkList(const std::string& projectId, std::vector<SNetworkInfoLib>& networks, UINT64 mask);
    bool GetSubNetworkInfo(const std::string& projectId, const std::string& subnetwork,
                           SSubnetInfoLib& record, UINT64 mask);
    bool GetSubNetworkList(const std::string& projectId, const std::string& zone, const std::string& region,
                           const std::string& networkUrl, std::vector<SSubnetInfoLib>& subnets, UINT64 mask);
    bool GetSharedVPCHostProject(const std::string& projectId, std::string& hostProject);
    bool GetAggregatedSubNetworkList(const std::string& hostProject, const std::string& zone,
                                     const std::string& region, std::vector<SNetworkInfoLib>& networks);
    bool GetFilteredSharedVPCForRegion(const std::string& region,
                                       const std::vector<SNetworkInterfaceInfoLib>& usableSubnets,
                                       std::vector<SNetworkInfoLib>& networks);

    // Projects (Resource Manager).
    bool ListProjects(std::vector<SProjectInfoLib>& projects);

    // Cloud Storage.
    // Cloud KMS. A resource name is projects/P/locations/L/keyRings/R[/cryptoKeys/K].
    bool GetKeyInfoAsJson(const std::string& resourceName, std::string& json);
    bool GetKeyInfoAsKey(const std::string& resourceName, SKeyInfoLib& key);
    bool CheckKeyRingExists(const std::string& resourceName);
    // Each Cloud KMS key of the disks (its key text) mapped to the key's JSON, one request per key; disks
    // with a key of another type are skipped.
    bool GetDiskEncryptionInfoJson(const std::vector<SDiskInfoLib>& disks, std::string& json);

    // Cloud Spanner and Dataflow.
    bool GetSpannerInstanceConfig(const std::string& projectId, const std::string& configName,
                                  SSpannerInstanceConfigInfoLib& config);
    // Appended, every page; an answer without the list is an empty list.
    bool GetSpannerInstancesList(const std::string& projectId,
                                 std::vector<SSpannerInstanceInfoLib>& instances);
    bool GetSpannerDatabasesList(const std::string& projectId, const std::string& instanceId,
                                 std::vector<SSpannerDatabaseInfoLib>& databases);
    bool GetDataflowJobInfo(const std::string& projectId, const std::string& jobId, SDataflowJobInfoLib& job);

    bool GetStorageBuckets(const std::string& projectId, std::vector<SStorageBucketInfoLib>& buckets);
    // Every page of the listing, its objects and prefixes merged.
    bool GetStorageObjects(const std::string& bucket, const std::string& delimiter, const std::string& prefix,
                           SStorageObjectsInfoLib& objects);

    // Cloud SQL. The database instances found are kept here, in the order found; mask and option are
    // not used. A refresh appends the project's instances to the cache: all of them, or none when a
    // page is refused (a 404 too: it is recorded and fails) or is no list. A project without instances
    // answers without "items", which is an empty list.
    bool RefreshDBInstanceInfoList(std::string projectId, UINT64 mask, int option);
    // The cache, in order; never a request.
    bool GetDBInstanceInfoList(std::vector<SDBInstanceInfoLib>& instances, UINT64 mask, int option);
    // A refresh over many projects rebuilds the cache: Begin sets the cache aside and empties it; End
    // keeps what the refreshes since Begin found or, when told not to, puts the set-aside cache back.
    void BeginDBInstanceRefresh();
    void EndDBInstanceRefresh(bool keepFound);

private:
    enum class ListOutcome { kRequestFailed, kNoList, kListed };

    // Reads a list page by page: readPage(response, next) reads one answer, sets next to the token of
    // the following page ("" after the last) and answers false to stop. A token handed out twice stops
    // the reading too. False only when a request fails; response then holds the refused answer.
    template <typename ReadPage>
    bool ReadPages(const std::string& projectId, const std::string& path, std::string& response,
                   ReadPage readPage);
    // Reads every page of a list into records. kRequestFailed leaves the refused page's body in
    // response; kNoList means no page carried the list key (how the APIs answer an empty list).
    template <typename T>
    ListOutcome FetchAllPages(const std::string& projectId, const std::string& path,
                              const std::string& listKey, std::vector<T>& records, std::string& response);
    // A list query: a 404 is an empty answer (notFoundMessage logged at level 2 under the caller's tag),
    // any other refusal is recorded and fails.
    template <typename T>
    bool ListQuery(const char* tag, const std::string& projectId, const std::string& path,
                   std::vector<T>& records, const std::string& notFoundMessage);
    // An object query: a refusal is recorded and fails; otherwise the mapping's result.
    template <typename T>
    bool ObjectQuery(const std::string& projectId, const std::string& path, T& record);
    // The path of the next page of a list ("pageToken" added to its query).
    static std::string PagePath(const std::string& path, const std::string& pageToken);
    // The first page of a filtered list that holds any items, as text; false when the request fails.
    bool GetFirstMatchingPage(const std::string& projectId, const std::string& path, std::string& response);
    // Every VM of the project the filter query ("" or "?filter=...") keeps, all zones in one aggregated
    // list read to its last page, appended with their zones and regions. A refusal is recorded and fails.
    bool GetAggregatedInstances(const std::string& projectId, const std::string& filterQuery,
                                std::vector<SVMInfoLib>& vms);

    CGoogleCloudConnection* connection;
    CGoogleCloudParser* parser;
    HbDebug logger;
    bool aggregatedDiscovery;
    std::vector<SDBInstanceInfoLib> dbInstances;
    std::vector<SDBInstanceInfoLib> dbInstancesBeforeRefresh;
};

}  // namespace GoogleCloudSDKWrapper
