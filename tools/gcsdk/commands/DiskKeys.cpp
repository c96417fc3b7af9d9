#include "commands/DiskKeys.h"

namespace gcsdk {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SDiskInfoLib;

namespace {

constexpr char kKms[] = "kmsKeyName";

bool IsKmsKeyText(const std::string& keyText) {
    return keyText.rfind(std::string(kKms) + ":", 0) == 0;
}

}  // namespace

void JudgeKmsKey(CGoogleCloudSDKWrapper& cloud, const std::string& path, const std::string& resource,
                 DiskKey& key) {
    key.keyType = kKms;
    key.keyPath = path;
    if (!resource.empty()) cloud.GetKeyStateAndLevel(resource, key.state, key.protectionLevel);
    std::string detail;
    key.supported = cloud.IsKeyTypeSupported(kKms, path, detail);
    // The detail names the protection level refused, or the key type when the key could not be read: a
    // failed read has just set the error state.
    if (!key.supported && detail == kKms)
        key.reason =
            "the key could not be read: " + cloud.GetLastError() + " (" + cloud.GetLastErrorCode() + ")";
    else if (!key.supported)
        key.reason = "protection level " + detail + " is not supported (SOFTWARE keys only)";
}

bool ReadDiskKeys(CGoogleCloudSDKWrapper& cloud, const std::vector<SDiskInfoLib>& disks,
                  std::vector<DiskKey>& keys, std::unordered_map<std::string, std::string>* keyResources,
                  std::string& what) {
    // Only Cloud KMS keys go to the library's key lookup: a raw key must not become a URL.
    std::vector<SDiskInfoLib> kmsDisks;
    for (const SDiskInfoLib& disk : disks)
        if (disk.isEncrypted && IsKmsKeyText(disk.encryptionKey)) kmsDisks.push_back(disk);
    std::string json;
    std::unordered_map<std::string, std::string> resources;
    if (!cloud.GetDiskEncryptionInfoJson(kmsDisks, json)) {
        what = "reading the Cloud KMS keys of the disks";
        return false;
    }
    if (!json.empty() && !cloud.GetKeyMapFromDisksEncryptionInfoJson(json, resources)) {
        what = "reading the Cloud KMS keys of the disks (the library could not read its own key map)";
        return false;
    }

    keys.clear();
    for (const SDiskInfoLib& disk : disks) {
        DiskKey key;
        key.disk = disk.name;
        key.encrypted = disk.isEncrypted;
        key.supported = !disk.isEncrypted;
        if (disk.isEncrypted) {
            std::string type, path, detail;
            if (!cloud.GetKeyTypeAndKeyPath(disk.encryptionKey, type, path)) {
                key.reason = "its key is not of the form TYPE:KEY";
            } else if (type != kKms) {
                key.keyType = type;
                key.supported = cloud.IsKeyTypeSupported(type, "", detail);  // no request for these
                if (!key.supported) key.reason = "the library supports Cloud KMS keys only, not " + detail;
            } else {
                JudgeKmsKey(cloud, path, resources[disk.encryptionKey], key);
            }
        }
        keys.push_back(key);
    }
    if (keyResources) *keyResources = resources;
    return true;
}

}  // namespace gcsdk
