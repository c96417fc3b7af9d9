// Disk and snapshot operations: attach, detach, create, delete, move, clone, snapshot, labels.
#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudConnection/UrlComposition.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "host/ZkJson.h"

namespace GoogleCloudSDKWrapper {

namespace {

// "zones/{zone}/..." or "regions/{region}/...": a literal word, then the inserted value.
std::string Under(const char* word, const std::string& location) {
    return std::string(word) + "/" + url::Segment(location);
}

std::string JsonBody(const mObject& object) {
    return ZkJson::Serialize(object);
}

}  // namespace

bool CGoogleCloudOperations::AttachZonalDisk(const std::string& projectId, const std::string& instanceName,
                                             const std::string& zone, const std::string& diskSourceLink,
                                             bool& limitExceeded) {
    return _AttachDisk(projectId, instanceName,
                       Under("zones", zone) + "/instances/" + url::Segment(instanceName) + "/attachDisk",
                       diskSourceLink, limitExceeded);
}

bool CGoogleCloudOperations::AttachRegionalDisk(const std::string& projectId, const std::string& instanceName,
                                                const std::string& region, const std::string& diskSourceLink,
                                                bool& limitExceeded) {
    return _AttachDisk(projectId, instanceName,
                       Under("regions", region) + "/instances/" + url::Segment(instanceName) + "/attachDisk",
                       diskSourceLink, limitExceeded);
}

bool CGoogleCloudOperations::_AttachDisk(const std::string& projectId, const std::string& instanceName,
                                         const std::string& link, const std::string& diskSourceLink,
                                         bool& limitExceeded) {
    mObject body;
    body["source"] = diskSourceLink;
    std::string response;
    if (!PostObjectToLinkAndGetResult(projectId, link, JsonBody(body), response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to attach disk : [%s] to instance : [%s].",
                     diskSourceLink.c_str(), instanceName.c_str());
        return false;
    }
    if (ParseOperationResp(response, 0, 0)) {
        limitExceeded = false;
        return true;
    }
    if (GetErrorCode() == "LIMIT_EXCEEDED") limitExceeded = true;
    return false;
}

bool CGoogleCloudOperations::DetachZonalDisk(const std::string& projectId, const std::string& diskName,
                                             const std::string& deviceName, const std::string& instanceName,
                                             const std::string& zone) {
    return _DetachDisk(projectId, diskName, deviceName, instanceName,
                       Under("zones", zone) + "/instances/" + url::Segment(instanceName) + "/detachDisk");
}

bool CGoogleCloudOperations::DetachRegionalDisk(const std::string& projectId, const std::string& diskName,
                                                const std::string& deviceName,
                                                const std::string& instanceName, const std::string& region) {
    return _DetachDisk(projectId, diskName, deviceName, instanceName,
                       Under("regions", region) + "/instances/" + url::Segment(instanceName) + "/detachDisk");
}

// The device name selects the disk; its name is only for the log.
bool CGoogleCloudOperations::_DetachDisk(const std::string& projectId, const std::string& diskName,
                                         const std::string& deviceName, const std::string& instanceName,
                                         const std::string& link) {
    std::string response;
    if (!PostObjectToLinkAndGetResult(projectId, link + "?deviceName=" + url::QueryValue(deviceName), "",
                                      response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to detach disk : [%s] to instance : [%s].",
                     diskName.c_str(), instanceName.c_str());
        return false;
    }
    return ParseOperationResp(response, 0, 0);
}

bool CGoogleCloudOperations::CreateZonalDisk(const std::string& projectId, const std::string& zone,
                                             SDiskInfoLib& disk) {
    return _CreateDisk(projectId, Under("zones", zone) + "/disks", disk);
}

bool CGoogleCloudOperations::CreateRegionalDisk(const std::string& projectId, const std::string& region,
                                                SDiskInfoLib& disk) {
    if (disk.replicaZones.empty()) {
        logger.Debug(__PRETTY_FUNCTION__, "Can not create regional disk with no replica zones");
        return false;
    }
    return _CreateDisk(projectId, Under("regions", region) + "/disks", disk);
}

bool CGoogleCloudOperations::_CreateDisk(const std::string& projectId, const std::string& link,
                                         SDiskInfoLib& disk) {
    if (disk.name.empty()) {
        logger.Debug(__PRETTY_FUNCTION__, "Disk name is not specified.");
        return false;
    }
    if (disk.sizeGb == 0) {
        logger.Debug(__PRETTY_FUNCTION__, "Disk size is [%llu].",
                     static_cast<unsigned long long>(disk.sizeGb));
        return false;
    }
    std::string body;
    if (!parser->GetRequestBody(disk, body)) return false;
    std::string response;
    if (!PostObjectToLinkAndGetResult(projectId, link, body, response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to create disk.");
        return false;
    }
    return ParseOperationResp(response, 0, 0);
}

bool CGoogleCloudOperations::DeleteZonalDisk(const std::string& projectId, const std::string& diskName,
                                             const std::string& zone) {
    return _DeleteDisk(projectId, diskName, Under("zones", zone) + "/disks/" + url::Segment(diskName));
}

bool CGoogleCloudOperations::DeleteRegionalDisk(const std::string& projectId, const std::string& diskName,
                                                const std::string& region) {
    return _DeleteDisk(projectId, diskName, Under("regions", region) + "/disks/" + url::Segment(diskName));
}

bool CGoogleCloudOperations::_DeleteDisk(const std::string& projectId, const std::string& diskName,
                                         const std::string& link) {
    std::string response;
    if (!DeleteObjectFromLinkAndGetResult(projectId, link, response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to delete disk [%s].", diskName.c_str());
        return false;
    }
    return ParseOperationResp(response, 0, 0);
}

bool CGoogleCloudOperations::MoveDisk(const std::string& projectId, const std::string& targetDisk,
                                      const std::string& destinationZone) {
    mObject body;
    body["targetDisk"] = targetDisk;
    body["destinationZone"] = destinationZone;
    std::string response;
    if (!PostObjectToLinkAndGetResult(projectId, "moveDisk", JsonBody(body), response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to move disk [%s] to [%s].", targetDisk.c_str(),
                     destinationZone.c_str());
        return false;
    }
    uint32_t timeout, wait;
    SnapshotTiming(timeout, wait);
    return ParseOperationResp(response, timeout, wait);
}

bool CGoogleCloudOperations::CreateZonalDiskSnapshot(const std::string& projectId,
                                                     const std::string& diskName, const std::string& zone,
                                                     SSnapshotInfoLib& snapshot, bool wait) {
    std::string link = Under("zones", zone) + "/disks/" + url::Segment(diskName) + "/createSnapshot";
    return _CreateDiskSnapshot(projectId, diskName, link, snapshot, wait);
}

bool CGoogleCloudOperations::CreateRegionalDiskSnapshot(const std::string& projectId,
                                                        const std::string& diskName,
                                                        const std::string& region, SSnapshotInfoLib& snapshot,
                                                        bool wait) {
    std::string link = Under("regions", region) + "/disks/" + url::Segment(diskName) + "/createSnapshot";
    return _CreateDiskSnapshot(projectId, diskName, link, snapshot, wait);
}

bool CGoogleCloudOperations::_CreateDiskSnapshot(const std::string& projectId, const std::string& diskName,
                                                 std::string& link, SSnapshotInfoLib& snapshot, bool wait) {
    if (snapshot.name.empty()) {
        logger.Debug(__PRETTY_FUNCTION__, "Snapshot name is not specified.");
        return false;
    }
    if (diskName.empty()) {
        logger.Debug(__PRETTY_FUNCTION__, "Disk name is not specified.");
        return false;
    }
    if (snapshot.guestFlush) link += "?guestFlush=true";
    std::string body;
    if (!parser->GetRequestBody(snapshot, body)) return false;
    std::string response;
    if (!PostObjectToLinkAndGetResult(projectId, link, body, response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to create snapshot of disk : [%s].", diskName.c_str());
        return false;
    }
    if (!wait) return true;
    uint32_t timeout, interval;
    SnapshotTiming(timeout, interval);
    return ParseOperationResp(response, timeout, interval);
}

bool CGoogleCloudOperations::DeleteDiskSnapshot(const std::string& projectId,
                                                const std::string& snapshotName) {
    std::string response;
    if (!DeleteObjectFromLinkAndGetResult(projectId, "global/snapshots/" + url::Segment(snapshotName),
                                          response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to delete snapshot [%s]", snapshotName.c_str());
        return false;
    }
    return ParseOperationResp(response, 0, 0);
}

// The new disk takes from the template only its labels, licenses and key (and, zonal, its interface):
// no size, so that it is as large as the snapshot.
bool CGoogleCloudOperations::NewDiskFromSnapshot(const char* tag, const std::string& snapshotUri,
                                                 const std::string& diskName, const std::string& diskType,
                                                 const SDiskInfoLib& diskTemplate, SDiskInfoLib& disk) {
    if (diskName.empty()) {
        logger.Debug(tag, "Disk name is not specified.");
        return false;
    }
    if (snapshotUri.empty()) {
        logger.Debug(tag, "Snapshot uri is empty for disk [%s].", diskName.c_str());
        return false;
    }
    disk.name = diskName;
    disk.sourceSnapshot = snapshotUri;
    disk.type = diskType;
    disk.labels = diskTemplate.labels;
    disk.licenses = diskTemplate.licenses;
    disk.isEncrypted = diskTemplate.isEncrypted;
    disk.encryptionKey = diskTemplate.encryptionKey;
    return true;
}

bool CGoogleCloudOperations::CreateZonalDiskFromSnapshot(const std::string& projectId,
                                                         const std::string& snapshotUri,
                                                         const std::string& diskName, const std::string& zone,
                                                         const std::string& diskType, bool wait,
                                                         const SDiskInfoLib& diskTemplate) {
    SDiskInfoLib disk;
    if (!NewDiskFromSnapshot(__PRETTY_FUNCTION__, snapshotUri, diskName, diskType, diskTemplate, disk))
        return false;
    if (!diskTemplate.interface.empty()) disk.interface = diskTemplate.interface;
    return DiskFromSnapshot(__PRETTY_FUNCTION__, projectId, Under("zones", zone) + "/disks", disk,
                            snapshotUri, wait);
}

bool CGoogleCloudOperations::CreateRegionalDiskFromSnapshot(
    const std::string& projectId, const std::string& snapshotUri, const std::string& diskName,
    const std::string& region, const std::string& diskType, const std::vector<std::string>& replicaZones,
    bool wait, const SDiskInfoLib& diskTemplate) {
    SDiskInfoLib disk;
    if (!NewDiskFromSnapshot(__PRETTY_FUNCTION__, snapshotUri, diskName, diskType, diskTemplate, disk))
        return false;
    disk.replicaZones = replicaZones;
    return DiskFromSnapshot(__PRETTY_FUNCTION__, projectId, Under("regions", region) + "/disks", disk,
                            snapshotUri, wait);
}

bool CGoogleCloudOperations::DiskFromSnapshot(const char* tag, const std::string& projectId,
                                              const std::string& link, const SDiskInfoLib& disk,
                                              const std::string& snapshotUri, bool wait) {
    SDiskInfoLib written = disk;
    std::string body;
    if (!parser->GetRequestBody(written, body)) return false;
    std::string response;
    if (!PostObjectToLinkAndGetResult(projectId, link, body, response)) {
        logger.Debug(tag, "Failed to create disk from snapshot [%s].", snapshotUri.c_str());
        return false;
    }
    if (!wait) return true;
    return ParseOperationResp(response, 0, 0);
}

bool CGoogleCloudOperations::CloneDisk(const std::string& projectId, const std::string& zone,
                                       const std::string& region, const std::string& sourceDisk,
                                       bool regional, bool wait, SDiskInfoLib& disk) {
    if (disk.name.empty()) {
        logger.Debug(__PRETTY_FUNCTION__, "Disk name is not specified.");
        return false;
    }
    if (sourceDisk.empty()) {
        logger.Debug(__PRETTY_FUNCTION__, "Source Disk name is not specified.Cannot clone disk.");
        return false;
    }
    SDiskInfoLib clone;
    clone.name = disk.name;
    clone.zone = zone;
    clone.sourceDisk = sourceDisk;
    clone.isEncrypted = disk.isEncrypted;
    clone.encryptionKey = disk.encryptionKey;
    std::string body;
    if (!parser->GetRequestBody(clone, body)) return false;
    std::string link = regional ? Under("regions", region) + "/disks" : Under("zones", zone) + "/disks";
    std::string response;
    if (!PostObjectToLinkAndGetResult(projectId, link, body, response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to clone disk from disk [%s]. response [%s]",
                     sourceDisk.c_str(), response.c_str());
        return false;
    }
    if (!wait) return true;
    return ParseOperationResp(response, 0, 0);
}

// The request carries the fingerprint of the labels it replaces; Compute Engine refuses it (412) when
// they changed since the disk was read.
bool CGoogleCloudOperations::SetDiskLabels(const std::string& projectId, const std::string& link,
                                           const SDiskInfoLib& disk,
                                           const std::vector<SKeyValueInfoLib>& labels) {
    SDiskInfoLib current;
    if (!parser->ParseObject(disk.rawJson, current)) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to get fingerprint from disk configuration [%s]",
                     disk.rawJson.c_str());
        return false;
    }
    SLabelInfoLib request;
    request.labels = labels;
    request.labelFingerprint = current.labelFingerprint;
    std::string body;
    if (!parser->GetRequestBody(request, body)) return false;
    std::string response;
    if (!connection->post(projectId, link, body, response)) {
        SetLastErrorFromResponse(response);
        return false;
    }
    return true;
}

}  // namespace GoogleCloudSDKWrapper
