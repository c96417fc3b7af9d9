// Customer-managed encryption keys of disks: reading, checking, creating and rotating them.
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"

namespace GoogleCloudSDKWrapper {

namespace {

const char kKmsKeyType[] = "kmsKeyName";
const char kSupportedLevel[] = "SOFTWARE";
const char kDiskKeyPurpose[] = "ENCRYPT_DECRYPT";

}  // namespace

bool CGoogleCloudSDKWrapper::GetKeyInfoAsJson(const std::string& keyPath, std::string& json) {
    return queries->GetKeyInfoAsJson(keyPath, json);
}

bool CGoogleCloudSDKWrapper::GetKeyInfoAsKey(const std::string& keyPath, SKeyInfoLib& key) {
    return queries->GetKeyInfoAsKey(keyPath, key);
}

bool CGoogleCloudSDKWrapper::CheckKeyRingExists(const std::string& keyRingPath) {
    return queries->CheckKeyRingExists(keyRingPath);
}

bool CGoogleCloudSDKWrapper::CreateKeyRing(const std::string& projectId, const std::string& location,
                                           const std::string& keyRing) {
    return operations->CreateKeyRing(projectId, location, keyRing);
}

bool CGoogleCloudSDKWrapper::CreateKey(const std::string& projectId, const std::string& location,
                                       const std::string& keyRing, const std::string& keyId,
                                       SKeyInfoLib key) {
    return operations->CreateKey(projectId, location, keyRing, keyId, key);
}

bool CGoogleCloudSDKWrapper::CreateDummyKey(const std::string& projectId, const std::string& location,
                                            const std::string& keyRing, const std::string& keyId) {
    SKeyInfoLib key;
    key.purpose = kDiskKeyPurpose;
    return CreateKey(projectId, location, keyRing, keyId, key);
}

bool CGoogleCloudSDKWrapper::CheckAndGetEncryptionKeyName(const std::string& diskJson, std::string& keyText) {
    SDiskInfoLib disk;
    if (!ParseDiskInfo(diskJson, disk)) return false;
    keyText = disk.encryptionKey;
    return true;
}

bool CGoogleCloudSDKWrapper::GetDiskEncryptionInfoJson(const std::vector<SDiskInfoLib>& disks,
                                                       std::string& json) {
    return queries->GetDiskEncryptionInfoJson(disks, json);
}

bool CGoogleCloudSDKWrapper::GetKeyMapFromDisksEncryptionInfoJson(
    const std::string& json, std::unordered_map<std::string, std::string>& keys) {
    return ZkJson::ConvertFromJsonToMap(json, keys);
}

bool CGoogleCloudSDKWrapper::UpdateKey(const std::string& keyText, const std::string& keyJson) {
    SKeyInfoLib given;
    if (!parser->ParseObject(keyJson, given)) return false;
    // Only the rotation goes out: the update mask names nothing else.
    SKeyInfoLib rotation;
    rotation.rotationPeriod = given.rotationPeriod;
    rotation.nextRotationTime = given.nextRotationTime;
    std::string keyType, keyPath;
    if (!GetKeyTypeAndKeyPath(keyText, keyType, keyPath)) return false;
    return operations->UpdateKey(keyPath, rotation);
}

bool CGoogleCloudSDKWrapper::GetKeyTypeAndKeyPath(const std::string& keyText, std::string& keyType,
                                                  std::string& keyPath) {
    return parser->GetKeyTypeAndKeyPath(keyText, keyType, keyPath);
}

bool CGoogleCloudSDKWrapper::IsKeyTypeSupported(const std::string& keyType, const std::string& keyPath,
                                                std::string& detail) {
    detail = keyType;
    if (keyType != kKmsKeyType) return false;
    SKeyInfoLib key;
    if (!GetKeyInfoAsKey(keyPath, key)) return false;
    if (!IsKeyLevelSupported(key.protectionLevel)) {
        detail = key.protectionLevel;
        return false;
    }
    return true;
}

bool CGoogleCloudSDKWrapper::IsKeyLevelSupported(const std::string& protectionLevel) {
    return protectionLevel == kSupportedLevel;
}

bool CGoogleCloudSDKWrapper::GetKeyStateAndLevel(const std::string& keyJson, std::string& state,
                                                 std::string& protectionLevel) {
    SKeyInfoLib key;
    if (!parser->ParseObject(keyJson, key)) return false;
    state = key.state;
    protectionLevel = key.protectionLevel;
    return true;
}

}  // namespace GoogleCloudSDKWrapper
