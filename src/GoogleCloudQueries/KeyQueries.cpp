// Cloud KMS keys and key rings, and the keys that protect a set of disks.
#include <unordered_map>

#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudQueries/QueryPatterns.h"

namespace GoogleCloudSDKWrapper {

namespace {

const char kKmsKeyType[] = "kmsKeyName";

std::string KmsUrl(const std::string& resourceName) {
    return "https://" + endpoints::KmsHost() + "/v1/" + url::ResourceName(resourceName);
}

}  // namespace

bool CGoogleCloudQueries::GetKeyInfoAsJson(const std::string& resourceName, std::string& json) {
    const std::string url = KmsUrl(resourceName);
    std::string response;
    if (!connection->get(std::string(), url, response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed:   URL [%s]", url.c_str());
        return false;
    }
    json = response;
    return true;
}

bool CGoogleCloudQueries::GetKeyInfoAsKey(const std::string& resourceName, SKeyInfoLib& key) {
    const std::string url = KmsUrl(resourceName);
    std::string response;
    if (!connection->get(std::string(), url, response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed:   URL [%s]", url.c_str());
        return false;
    }
    return parser->ParseObject(response, key);
}

bool CGoogleCloudQueries::CheckKeyRingExists(const std::string& resourceName) {
    const std::string url = KmsUrl(resourceName);
    std::string response;
    if (connection->get(std::string(), url, response)) return true;
    logger.Debug(__PRETTY_FUNCTION__, "Failed:   URL [%s]", url.c_str());
    return false;
}

bool CGoogleCloudQueries::GetDiskEncryptionInfoJson(const std::vector<SDiskInfoLib>& disks,
                                                    std::string& json) {
    std::unordered_map<std::string, std::string> keys;
    for (const SDiskInfoLib& disk : disks) {
        if (!disk.isEncrypted || keys.count(disk.encryptionKey)) continue;
        std::string keyType, keyPath;
        if (!parser->GetKeyTypeAndKeyPath(disk.encryptionKey, keyType, keyPath)) {
            logger.Debug(__PRETTY_FUNCTION__, "Failed to fetch encryption key information for disk [%s]",
                         disk.name.c_str());
            continue;
        }
        // A customer-supplied key (rawKey, or its sha256) is no Cloud KMS resource: asking Cloud KMS for it
        // would send the secret away and put it in the log. Only its type is named.
        if (keyType != kKmsKeyType) {
            logger.Debug(__PRETTY_FUNCTION__,
                         "Disk [%s] has a key of type [%s], not a Cloud KMS key; skipped", disk.name.c_str(),
                         keyType.c_str());
            continue;
        }
        std::string& entry = keys[disk.encryptionKey];
        if (!GetKeyInfoAsJson(keyPath, entry))
            logger.Debug(__PRETTY_FUNCTION__, "Failed to fetch encryption key information for disk [%s]",
                         disk.name.c_str());
    }
    if (keys.empty()) return true;
    return ZkJson::ConvertFromMapToJson(keys, json);
}

}  // namespace GoogleCloudSDKWrapper
