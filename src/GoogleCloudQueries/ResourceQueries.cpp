// Disks, disk types, machine types, images, snapshots, node groups and licenses.
#include <algorithm>

#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudQueries/ListFilter.h"
#include "GoogleCloudQueries/QueryPatterns.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudQueries::GetZonalDiskInfo(const std::string& projectId, const std::string& diskName,
                                           const std::string& zone, SDiskInfoLib& disk, UINT64 mask) {
    return _GetDiskInfo(projectId, paths::Join("zones", zone) + "/" + paths::Join("disks", diskName), disk,
                        mask);
}

bool CGoogleCloudQueries::GetRegionalDiskInfo(const std::string& projectId, const std::string& diskName,
                                              const std::string& region, SDiskInfoLib& disk, UINT64 mask) {
    return _GetDiskInfo(projectId, paths::Join("regions", region) + "/" + paths::Join("disks", diskName),
                        disk, mask);
}

bool CGoogleCloudQueries::_GetDiskInfo(const std::string& projectId, const std::string& path,
                                       SDiskInfoLib& disk, UINT64) {
    std::string response;
    if (!connection->get(projectId, path, response)) {
        SetLastErrorFromResponse(response);
        return false;
    }
    if (!parser->ParseObject(response, disk)) return false;
    disk.rawJson = response;
    return true;
}

bool CGoogleCloudQueries::DoesZonalDiskExist(const std::string& projectId, const std::string& diskName,
                                             const std::string& zone) {
    return _DoesDiskExist(
        projectId, paths::Join("zones", zone) + "/disks" + filter::EqualsQuery("name", diskName), diskName);
}

bool CGoogleCloudQueries::DoesRegionalDiskExist(const std::string& projectId, const std::string& diskName,
                                                const std::string& region) {
    return _DoesDiskExist(projectId,
                          paths::Join("regions", region) + "/disks" + filter::EqualsQuery("name", diskName),
                          diskName);
}

bool CGoogleCloudQueries::_DoesDiskExist(const std::string& projectId, const std::string& path,
                                         const std::string& diskName) {
    std::vector<SDiskInfoLib> disks;
    std::string response;
    if (FetchAllPages(projectId, path, "items", disks, response) != ListOutcome::kListed) return false;
    return std::any_of(disks.begin(), disks.end(),
                       [&](const SDiskInfoLib& disk) { return disk.name == diskName; });
}

bool CGoogleCloudQueries::GetZonalDiskTypeInfo(const std::string& projectId, const std::string& diskType,
                                               const std::string& zone, SDiskTypeInfoLib& record) {
    if (zone.empty()) {
        logger.Error(__PRETTY_FUNCTION__, "Zone is empty.");
        return false;
    }
    return _GetDiskTypeInfo(projectId, diskType,
                            paths::Join("zones", zone) + "/" + paths::Join("diskTypes", diskType), record);
}

bool CGoogleCloudQueries::GetRegionalDiskTypeInfo(const std::string& projectId, const std::string& diskType,
                                                  const std::string& region, SDiskTypeInfoLib& record) {
    if (region.empty()) {
        logger.Error(__PRETTY_FUNCTION__, "Region is empty.");
        return false;
    }
    return _GetDiskTypeInfo(projectId, diskType,
                            paths::Join("regions", region) + "/" + paths::Join("diskTypes", diskType),
                            record);
}

bool CGoogleCloudQueries::_GetDiskTypeInfo(const std::string& projectId, const std::string& diskType,
                                           const std::string& path, SDiskTypeInfoLib& record) {
    if (diskType.empty()) {
        logger.Error(__PRETTY_FUNCTION__, "Disk type is empty.");
        return false;
    }
    return ObjectQuery(projectId, path, record);
}

// A machine type may be given by name or by its URL.
bool CGoogleCloudQueries::GetMachineTypeInfo(const std::string& projectId, const std::string& machineType,
                                             SMachineTypeInfoLib& record, UINT64) {
    return ObjectQuery(
        projectId,
        paths::Join("zones", record.zone) + "/" + paths::Join("machineTypes", paths::NameOf(machineType)),
        record);
}

bool CGoogleCloudQueries::GetMachineTypesInfoList(const std::string& projectId, const std::string& zone,
                                                  std::vector<SMachineTypeInfoLib>& machineTypes, UINT64) {
    return ListQuery(__PRETTY_FUNCTION__, projectId, paths::Join("zones", zone) + "/machineTypes",
                     machineTypes,
                     JtString::Format("Couldn't find machine types in the zone [%s], project [%s]",
                                      zone.c_str(), projectId.c_str()));
}

bool CGoogleCloudQueries::GetImageInfo(const std::string& projectId, const std::string& image,
                                       SImageInfoLib& record, UINT64) {
    return ObjectQuery(projectId, "global/" + paths::Join("images", image), record);
}

bool CGoogleCloudQueries::GetImageList(const std::string& projectId, std::vector<SImageInfoLib>& images,
                                       UINT64) {
    return ListQuery(__PRETTY_FUNCTION__, projectId, "global/images", images,
                     JtString::Format("Couldn't find image list in the project [%s]", projectId.c_str()));
}

bool CGoogleCloudQueries::GetSnapshotInfo(const std::string& projectId, const std::string& snapshot,
                                          SSnapshotInfoLib& record, UINT64) {
    return ObjectQuery(projectId, "global/" + paths::Join("snapshots", snapshot), record);
}

bool CGoogleCloudQueries::GetSnapshotList(const std::string& projectId,
                                          std::vector<SSnapshotInfoLib>& snapshots, UINT64) {
    return ListQuery(__PRETTY_FUNCTION__, projectId, "global/snapshots", snapshots,
                     JtString::Format("Couldn't find snapshots in the project [%s]", projectId.c_str()));
}

bool CGoogleCloudQueries::DoesSnapshotExist(const std::string& projectId, const std::string& snapshot) {
    std::string response;
    return connection->get(projectId, "global/" + paths::Join("snapshots", snapshot), response);
}

bool CGoogleCloudQueries::DoesNodeGroupExist(const std::string& projectId, const std::string& zone,
                                             const std::string& nodeGroup) {
    std::string response;
    return connection->get(projectId, paths::Join("zones", zone) + "/" + paths::Join("nodeGroups", nodeGroup),
                           response);
}

bool CGoogleCloudQueries::GetLicensesForProject(const std::string& imageProjectId,
                                                std::vector<SLicenseInfoLib>& licenses) {
    std::string url = "https://" + endpoints::ComputeHost() + "/compute/v1/projects/" +
                      url::Segment(imageProjectId) + "/global/licenses";
    std::string response;
    return FetchAllPages(std::string(), url, "items", licenses, response) == ListOutcome::kListed;
}

bool CGoogleCloudQueries::ListProjects(std::vector<SProjectInfoLib>& projects) {
    std::string url = "https://" + endpoints::ResourceManagerHost() + "/v1/projects";
    std::string response;
    switch (FetchAllPages(std::string(), url, "projects", projects, response)) {
        case ListOutcome::kListed:
            return true;
        case ListOutcome::kRequestFailed:
            logger.Debug(__PRETTY_FUNCTION__, "Failed:   URL [%s]", url.c_str());
            return false;
        case ListOutcome::kNoList:
            break;
    }
    logger.Debug(__PRETTY_FUNCTION__, "Failed:  Parsing response from GET for URL [%s]", url.c_str());
    return false;
}

}  // namespace GoogleCloudSDKWrapper
