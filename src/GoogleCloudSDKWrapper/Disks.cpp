// Changing disks and snapshots: create, clone, delete, attach, detach, move; snapshots and disks
// made from them. Every change is re-read so the caller gets the resource as it now is.
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudSDKWrapper::CreateDisk(const std::string& projectId, const std::string& diskName,
                                        const std::string& zone, const std::string& region,
                                        const bool& regional, SDiskInfoLib& disk) {
    return regional ? CreateRegionalDisk(projectId, diskName, region, disk)
                    : CreateZonalDisk(projectId, diskName, zone, disk);
}

bool CGoogleCloudSDKWrapper::CreateZonalDisk(const std::string& projectId, const std::string& diskName,
                                             const std::string& zone, SDiskInfoLib& disk) {
    if (!PrepareNewDisk(projectId, diskName, zone, "", false, disk)) return false;
    if (!operations->CreateZonalDisk(projectId, zone, disk)) return false;
    return queries->GetZonalDiskInfo(projectId, diskName, zone, disk, 0);
}

bool CGoogleCloudSDKWrapper::CreateRegionalDisk(const std::string& projectId, const std::string& diskName,
                                                const std::string& region, SDiskInfoLib& disk) {
    if (!PrepareNewDisk(projectId, diskName, "", region, true, disk)) return false;
    if (!operations->CreateRegionalDisk(projectId, region, disk)) return false;
    return queries->GetRegionalDiskInfo(projectId, diskName, region, disk, 0);
}

// The name, the disk type as a URL, and what the saved disk (the record's raw JSON) carries over.
bool CGoogleCloudSDKWrapper::PrepareNewDisk(const std::string& projectId, const std::string& diskName,
                                            const std::string& zone, const std::string& region, bool regional,
                                            SDiskInfoLib& disk) {
    disk.name = diskName;
    if (!disk.type.empty()) {
        std::string typeUrl;
        if (!GetDiskTypeUri(projectId, disk.type, zone, region, regional, typeUrl)) return false;
        disk.type = typeUrl;
    }
    if (disk.rawJson.empty()) return true;
    SDiskInfoLib saved;
    if (!ParseDiskInfo(disk.rawJson, saved)) return false;
    disk.guestOsFeatures = saved.guestOsFeatures;
    disk.licenses = saved.licenses;
    disk.labels = saved.labels;
    if (regional) disk.replicaZones = saved.replicaZones;
    return true;
}

bool CGoogleCloudSDKWrapper::CloneDisk(const std::string& projectId, const std::string& zone,
                                       const std::string& region, const std::string& sourceDisk,
                                       const bool& regional, const bool& wait, SDiskInfoLib& disk) {
    if (!operations->CloneDisk(projectId, zone, region, sourceDisk, regional, wait, disk)) return false;
    if (!wait) return true;
    return GetDiskInfo(projectId, disk.name, zone, region, regional, disk, 0);
}

bool CGoogleCloudSDKWrapper::DeleteDisk(const std::string& projectId, const std::string& diskName,
                                        const std::string& zone, const std::string& region,
                                        const bool& regional) {
    return regional ? DeleteRegionalDisk(projectId, diskName, region)
                    : DeleteZonalDisk(projectId, diskName, zone);
}

// Only a read answered with 404 means the disk is gone already: any other failed read (no network,
// no permission, a server error) must not report a disk as deleted that still exists.
bool CGoogleCloudSDKWrapper::DeleteZonalDisk(const std::string& projectId, const std::string& diskName,
                                             const std::string& zone) {
    SDiskInfoLib disk;
    if (!queries->GetZonalDiskInfo(projectId, diskName, zone, disk, 0)) {
        if (queries->GetErrorCode() != "404") return false;
        Debug(__PRETTY_FUNCTION__, "Disk [%s] not found in zone [%s].", diskName.c_str(), zone.c_str());
        return true;
    }
    return operations->DeleteZonalDisk(projectId, diskName, zone);
}

bool CGoogleCloudSDKWrapper::DeleteRegionalDisk(const std::string& projectId, const std::string& diskName,
                                                const std::string& region) {
    SDiskInfoLib disk;
    if (!queries->GetRegionalDiskInfo(projectId, diskName, region, disk, 0)) {
        if (queries->GetErrorCode() != "404") return false;
        Debug(__PRETTY_FUNCTION__, "Disk [%s] not found in region [%s].", diskName.c_str(), region.c_str());
        return true;
    }
    return operations->DeleteRegionalDisk(projectId, diskName, region);
}

bool CGoogleCloudSDKWrapper::AttachDisk(const std::string& projectId, const std::string& diskName,
                                        const std::string& vmName, const std::string& zone,
                                        bool& limitExceeded) {
    SDiskInfoLib disk;
    if (!GetDiskInfo(projectId, diskName, zone, "", false, disk, 0)) return false;
    if (disk.source.empty()) {
        Debug(__PRETTY_FUNCTION__, "Disk [%s] url empty.", diskName.c_str());
        return false;
    }
    return operations->AttachZonalDisk(projectId, vmName, zone, disk.source, limitExceeded);
}

bool CGoogleCloudSDKWrapper::DetachDisk(const std::string& projectId, const std::string& diskName,
                                        const std::string& vmName, const std::string& zone) {
    SDiskInfoLib disk;
    if (!GetDiskInfo(projectId, diskName, zone, "", false, disk, 0)) return false;
    if (disk.users.empty()) {
        Debug(__PRETTY_FUNCTION__, "Disk [%s] is not attached to any instance.", diskName.c_str());
        return true;
    }
    std::string deviceName;
    if (!queries->GetDeviceName(projectId, diskName, vmName, zone, deviceName)) return false;
    return operations->DetachZonalDisk(projectId, diskName, deviceName, vmName, zone);
}

bool CGoogleCloudSDKWrapper::MoveDisk(const std::string& projectId, const std::string& diskName,
                                      const std::string& sourceZone, const std::string& destinationZone,
                                      SDiskInfoLib& disk) {
    Debug(__PRETTY_FUNCTION__, "Disk [%s], Source zone [%s], Destination zone [%s].", diskName.c_str(),
          sourceZone.c_str(), destinationZone.c_str());
    if (sourceZone == destinationZone) return true;
    SDiskInfoLib current;
    SZoneInfoLib destination;
    if (!queries->GetZonalDiskInfo(projectId, diskName, sourceZone, current, 0) ||
        !queries->GetZoneInfo(projectId, destinationZone, destination, 0))
        return false;
    if (!operations->MoveDisk(projectId, current.source, destination.selfLink)) return false;
    return queries->GetZonalDiskInfo(projectId, diskName, destinationZone, disk, 0);
}

bool CGoogleCloudSDKWrapper::CreateDiskSnapshot(const std::string& projectId, const std::string& diskName,
                                                const std::string& zone, const std::string& region,
                                                const bool& regional, const bool& guestFlush,
                                                SSnapshotInfoLib& snapshot, const bool& wait) {
    snapshot.guestFlush = guestFlush;
    return regional ? CreateRegionalDiskSnapshot(projectId, diskName, region, snapshot, wait)
                    : CreateZonalDiskSnapshot(projectId, diskName, zone, snapshot, wait);
}

bool CGoogleCloudSDKWrapper::CreateZonalDiskSnapshot(const std::string& projectId,
                                                     const std::string& diskName, const std::string& zone,
                                                     SSnapshotInfoLib& snapshot, const bool& wait) {
    if (!operations->CreateZonalDiskSnapshot(projectId, diskName, zone, snapshot, wait)) return false;
    if (!wait) return true;
    return queries->GetSnapshotInfo(projectId, snapshot.name, snapshot, 0);
}

bool CGoogleCloudSDKWrapper::CreateRegionalDiskSnapshot(const std::string& projectId,
                                                        const std::string& diskName,
                                                        const std::string& region, SSnapshotInfoLib& snapshot,
                                                        const bool& wait) {
    if (!operations->CreateRegionalDiskSnapshot(projectId, diskName, region, snapshot, wait)) return false;
    if (!wait) return true;
    return queries->GetSnapshotInfo(projectId, snapshot.name, snapshot, 0);
}

bool CGoogleCloudSDKWrapper::DeleteDiskSnapshot(const std::string& projectId,
                                                const std::string& snapshotName) {
    return operations->DeleteDiskSnapshot(projectId, snapshotName);
}

bool CGoogleCloudSDKWrapper::CreateDiskFromSnapshot(const std::string& projectId, const std::string& snapshot,
                                                    const std::string& diskName, const std::string& zone,
                                                    const std::string& region, const bool& regional,
                                                    const std::string& diskType, SDiskInfoLib& disk,
                                                    const bool& wait) {
    if (!disk.rawJson.empty()) {
        SDiskInfoLib saved;
        if (!parser->ParseObject(disk.rawJson, saved)) {
            Debug(__PRETTY_FUNCTION__, "Failed to parse disk configuration Json");
            return false;
        }
        disk.guestOsFeatures = saved.guestOsFeatures;
        disk.licenses = saved.licenses;
        disk.labels = saved.labels;
        if (!saved.interface.empty()) disk.interface = saved.interface;
    }
    return regional
               ? CreateRegionalDiskFromSnapshot(projectId, snapshot, diskName, region, diskType, disk, wait)
               : CreateZonalDiskFromSnapshot(projectId, snapshot, diskName, zone, diskType, disk, wait);
}

bool CGoogleCloudSDKWrapper::CreateZonalDiskFromSnapshot(const std::string& projectId,
                                                         const std::string& snapshot,
                                                         const std::string& diskName, const std::string& zone,
                                                         const std::string& diskType, SDiskInfoLib& disk,
                                                         const bool& wait) {
    std::string typeUrl;
    if (!diskType.empty() && !GetZonalDiskTypeUri(projectId, diskType, zone, typeUrl)) return false;
    Debug(__PRETTY_FUNCTION__, "Creating disk [%s] from snapshot [%s] in zone [%s], project [%s]",
          diskName.c_str(), snapshot.c_str(), zone.c_str(), projectId.c_str());
    if (!operations->CreateZonalDiskFromSnapshot(projectId, snapshot, diskName, zone, typeUrl, wait, disk))
        return false;
    if (!wait) return true;
    return queries->GetZonalDiskInfo(projectId, diskName, zone, disk, 0);
}

bool CGoogleCloudSDKWrapper::CreateRegionalDiskFromSnapshot(
    const std::string& projectId, const std::string& snapshot, const std::string& diskName,
    const std::string& region, const std::string& diskType, SDiskInfoLib& disk, const bool& wait) {
    std::string typeUrl;
    if (!diskType.empty() && !GetRegionalDiskTypeUri(projectId, diskType, region, typeUrl)) return false;
    SDiskInfoLib source;
    if (!ParseDiskInfo(disk.rawJson, source)) Debug(__PRETTY_FUNCTION__, "Failed to parse source disk info");
    std::string sourceZones, chosenZones;
    JtString::Join(source.replicaZones, ",", sourceZones);
    std::vector<std::string> zones = disk.replicaZones.empty() ? source.replicaZones : disk.replicaZones;
    JtString::Join(zones, ",", chosenZones);
    for (std::string& zone : zones) zone = "projects/" + projectId + "/zones/" + zone;
    Debug(__PRETTY_FUNCTION__,
          "Creating disk [%s] from snapshot [%s] in region [%s], source replicaZones [%s], destination "
          "replicaZones "
          "[%s], project [%s]",
          diskName.c_str(), snapshot.c_str(), region.c_str(), sourceZones.c_str(), chosenZones.c_str(),
          projectId.c_str());
    if (!operations->CreateRegionalDiskFromSnapshot(projectId, snapshot, diskName, region, typeUrl, zones,
                                                    wait, disk))
        return false;
    if (!wait) return true;
    return queries->GetRegionalDiskInfo(projectId, diskName, region, disk, 0);
}

}  // namespace GoogleCloudSDKWrapper
