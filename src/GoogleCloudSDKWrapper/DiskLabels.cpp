// Disk labels: read from a disk's JSON or from the cloud, and replaced.
#include "GoogleCloudConnection/UrlComposition.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudSDKWrapper::GetDiskLabels(const std::string& diskJson,
                                           std::unordered_map<std::string, std::string>& labels) {
    SDiskInfoLib disk;
    if (!ParseDiskInfo(diskJson, disk)) return false;
    for (const SKeyValueInfoLib& label : disk.labels) labels[label.key] = label.value;
    return true;
}

bool CGoogleCloudSDKWrapper::GetDiskLabels(const std::string& projectId, const std::string& diskName,
                                           const std::string& zone, const std::string& region,
                                           const bool& regional, std::vector<SKeyValueInfoLib>& labels) {
    SDiskInfoLib disk;
    if (!GetDiskInfo(projectId, diskName, zone, region, regional, disk, 0)) return false;
    labels = disk.labels;
    return true;
}

bool CGoogleCloudSDKWrapper::SetDiskLabels(const std::string& projectId, const SDiskInfoLib& disk,
                                           const std::string& zone, const std::string& region,
                                           const bool& regional, std::vector<SKeyValueInfoLib> labels) {
    const std::string place = url::Segment(regional ? region : zone);
    const std::string link = JtString::Format("%s/%s/%s/%s/setLabels", regional ? "regions" : "zones",
                                              place.c_str(), "disks", url::Segment(disk.name).c_str());
    return operations->SetDiskLabels(projectId, link, disk, labels);
}

}  // namespace GoogleCloudSDKWrapper
