// Reading zones, regions, machine types, networks, disks, snapshots, images and their URLs.
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudSDKWrapper::GetZoneInfo(const std::string& projectId, const std::string& zone,
                                         const std::string&, SZoneInfoLib& record, UINT64 mask) {
    std::vector<SProjectInfoLib> projects;
    if (!ProjectsFor(projectId, projects)) return false;
    bool found = false;
    for (const SProjectInfoLib& project : projects) {
        SZoneInfoLib inProject;
        if (!queries->GetZoneInfo(project.projectId, zone, inProject, mask)) {
            if (queries->GetErrorCode() != "404") return false;
            DebugLvl(__PRETTY_FUNCTION__, 2, "Couldn't find zone [%s] in the project [%s]", zone.c_str(),
                     project.projectId.c_str());
            continue;
        }
        if (!found) {
            record = std::move(inProject);
            found = true;
            continue;
        }
        record.vmList.insert(record.vmList.end(), inProject.vmList.begin(), inProject.vmList.end());
        record.networkList.insert(record.networkList.end(), inProject.networkList.begin(),
                                  inProject.networkList.end());
    }
    return true;
}

bool CGoogleCloudSDKWrapper::GetZoneInfoListInRegion(const std::string& projectId, const std::string& region,
                                                     std::vector<SZoneInfoLib>& zones, UINT64 mask) {
    return queries->GetZoneInfoListInRegion(projectId, region, zones, mask);
}

bool CGoogleCloudSDKWrapper::GetRegionInfo(const std::string& projectId, const std::string& region,
                                           const std::string& regionId, SRegionInfoLib& record, UINT64 mask) {
    return queries->GetRegionInfo(projectId, region, regionId, record, mask);
}

bool CGoogleCloudSDKWrapper::GetRegionInfoList(const std::string& projectId,
                                               std::vector<SRegionInfoLib>& regions, UINT64 mask) {
    std::vector<SProjectInfoLib> projects;
    if (!ProjectsFor(projectId, projects)) return false;
    for (const SProjectInfoLib& project : projects) {
        if (!queries->GetRegionInfoList(project.projectId, regions, mask)) return false;
        if (!regions.empty()) return true;
    }
    return true;
}

bool CGoogleCloudSDKWrapper::GetMachineTypeInfo(const std::string& projectId, const std::string& machineType,
                                                SMachineTypeInfoLib& record, UINT64 mask) {
    return queries->GetMachineTypeInfo(projectId, machineType, record, mask);
}

bool CGoogleCloudSDKWrapper::GetMachineTypesInfoList(const std::string& projectId, const std::string& zone,
                                                     std::vector<SMachineTypeInfoLib>& machineTypes,
                                                     UINT64 mask) {
    return queries->GetMachineTypesInfoList(projectId, zone, machineTypes, mask);
}

bool CGoogleCloudSDKWrapper::GetMachineTypeUri(const std::string& projectId, const std::string& machineType,
                                               const std::string& zone, std::string& url) {
    url.clear();
    SMachineTypeInfoLib record;
    record.zone = zone;
    if (!queries->GetMachineTypeInfo(projectId, machineType, record, 0)) return false;
    url = record.selfLink;
    return true;
}

bool CGoogleCloudSDKWrapper::GetNetworkInfo(const std::string& projectId, const std::string& network,
                                            SNetworkInfoLib& record, UINT64 mask) {
    return queries->GetNetworkInfo(projectId, network, record, mask);
}

bool CGoogleCloudSDKWrapper::GetNetworkList(const std::string& projectId,
                                            std::vector<SNetworkInfoLib>& networks, UINT64 mask) {
    return queries->GetNetworkList(projectId, networks, mask);
}

bool CGoogleCloudSDKWrapper::GetNetworkUri(const std::string& projectId, const std::string& network,
                                           std::string& url) {
    SNetworkInfoLib record;
    if (!queries->GetNetworkInfo(projectId, network, record, 0)) return false;
    url = record.selfLink;
    return true;
}

bool CGoogleCloudSDKWrapper::GetSubNetworkInfo(const std::string& projectId, const std::string& subnetwork,
                                               SSubnetInfoLib& record, UINT64 mask) {
    return queries->GetSubNetworkInfo(projectId, subnetwork, record, mask);
}

bool CGoogleCloudSDKWrapper::GetSubNetworkList(const std::string& projectId, const std::string& zone,
                                               const std::string& region, const std::string& networkUrl,
                                               std::vector<SSubnetInfoLib>& subnets, UINT64 mask) {
    return queries->GetSubNetworkList(projectId, zone, region, networkUrl, subnets, mask);
}

bool CGoogleCloudSDKWrapper::GetDiskInfo(const std::string& projectId, const std::string& diskName,
                                         const std::string& zone, const std::string& region,
                                         const bool& regional, SDiskInfoLib& disk, UINT64 mask) {
    return regional ? queries->GetRegionalDiskInfo(projectId, diskName, region, disk, mask)
                    : queries->GetZonalDiskInfo(projectId, diskName, zone, disk, mask);
}

bool CGoogleCloudSDKWrapper::DoesDiskExist(const std::string& projectId, const std::string& diskName,
                                           const std::string& zone, const std::string& region,
                                           const bool& regional) {
    return regional ? queries->DoesRegionalDiskExist(projectId, diskName, region)
                    : queries->DoesZonalDiskExist(projectId, diskName, zone);
}

bool CGoogleCloudSDKWrapper::GetDiskState(const std::string& projectId, const std::string& zone,
                                          const std::string& region, const bool& regional,
                                          const std::string& diskName, std::string& status) {
    SDiskInfoLib disk;
    bool read = GetDiskInfo(projectId, diskName, zone, region, regional, disk, 0);
    status = disk.status;
    return read;
}

bool CGoogleCloudSDKWrapper::GetDiskTypeUri(const std::string& projectId, const std::string& diskType,
                                            const std::string& zone, const std::string& region,
                                            const bool& regional, std::string& url) {
    return regional ? GetRegionalDiskTypeUri(projectId, diskType, region, url)
                    : GetZonalDiskTypeUri(projectId, diskType, zone, url);
}

bool CGoogleCloudSDKWrapper::GetZonalDiskTypeUri(const std::string& projectId, const std::string& diskType,
                                                 const std::string& zone, std::string& url) {
    SDiskTypeInfoLib record;
    if (!queries->GetZonalDiskTypeInfo(projectId, diskType, zone, record)) return false;
    url = record.selfLink;
    return true;
}

bool CGoogleCloudSDKWrapper::GetRegionalDiskTypeUri(const std::string& projectId, const std::string& diskType,
                                                    const std::string& region, std::string& url) {
    SDiskTypeInfoLib record;
    if (!queries->GetRegionalDiskTypeInfo(projectId, diskType, region, record)) return false;
    url = record.selfLink;
    return true;
}

bool CGoogleCloudSDKWrapper::ParseDiskInfo(const std::string& diskJson, SDiskInfoLib& disk) {
    if (parser->ParseObject(diskJson, disk)) return true;
    Debug(__PRETTY_FUNCTION__, "Failed to parse disk configuration Json");
    return false;
}

bool CGoogleCloudSDKWrapper::ParseReplicaZonesFromJson(const std::string& diskJson,
                                                       std::vector<std::string>& replicaZones,
                                                       std::string& diskUrl) {
    SDiskInfoLib disk;
    if (!ParseDiskInfo(diskJson, disk)) return false;
    replicaZones = disk.replicaZones;
    diskUrl = disk.source;
    return true;
}

bool CGoogleCloudSDKWrapper::GetSnapshotInfo(const std::string& projectId, const std::string& snapshot,
                                             SSnapshotInfoLib& record, UINT64 mask) {
    return queries->GetSnapshotInfo(projectId, snapshot, record, mask);
}

bool CGoogleCloudSDKWrapper::GetSnapshotList(const std::string& projectId,
                                             std::vector<SSnapshotInfoLib>& snapshots, UINT64 mask) {
    return queries->GetSnapshotList(projectId, snapshots, mask);
}

bool CGoogleCloudSDKWrapper::DoesSnapshotExist(const std::string& projectId, const std::string& snapshot) {
    return queries->DoesSnapshotExist(projectId, snapshot);
}

bool CGoogleCloudSDKWrapper::GetSnapshotState(const std::string& projectId, const std::string& snapshot,
                                              std::string& status) {
    SSnapshotInfoLib record;
    bool read = queries->GetSnapshotInfo(projectId, snapshot, record, 0);
    status = record.status;
    return read;
}

bool CGoogleCloudSDKWrapper::GetSnapshotUri(const std::string& projectId, const std::string& snapshot,
                                            std::string& url) {
    SSnapshotInfoLib record;
    if (!queries->GetSnapshotInfo(projectId, snapshot, record, 0)) return false;
    url = record.selfLink;
    return true;
}

bool CGoogleCloudSDKWrapper::GetImageInfo(const std::string& projectId, const std::string& image,
                                          SImageInfoLib& record, UINT64 mask) {
    return queries->GetImageInfo(projectId, image, record, mask);
}

bool CGoogleCloudSDKWrapper::GetImageList(const std::string& projectId, std::vector<SImageInfoLib>& images,
                                          UINT64 mask) {
    return queries->GetImageList(projectId, images, mask);
}

bool CGoogleCloudSDKWrapper::GetLicensesForProject(const std::string& osDescription,
                                                   std::vector<SLicenseInfoLib>& licenses) {
    std::string imageProject = GetImageProjectId(osDescription);
    if (imageProject.empty()) return false;
    return queries->GetLicensesForProject(imageProject, licenses);
}

}  // namespace GoogleCloudSDKWrapper
