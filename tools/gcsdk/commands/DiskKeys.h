// The encryption key of each disk of a VM as the library judges it, for 'disk keys' and the demo: the key
// type, a Cloud KMS key's path and primary version, and whether the library supports it and why not. A
// raw key or its hash is never kept: for those disks only the type is.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"

namespace gcsdk {

struct DiskKey {
    std::string disk;
    bool encrypted = false;
    std::string keyType;                 // "kmsKeyName", "rawKey", "sha256"; empty when not encrypted
    std::string keyPath;                 // a Cloud KMS key's resource name; empty for other types
    std::string state, protectionLevel;  // of a Cloud KMS key's primary version
    bool supported = false;              // true for a disk without a key: there is nothing to support
    std::string reason;                  // why not supported
};

// Judges a Cloud KMS key (IsKeyTypeSupported) and reads its primary version from the resource, when given
// (GetKeyStateAndLevel).
void JudgeKmsKey(GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper& cloud, const std::string& path,
                 const std::string& resource, DiskKey& key);

// Reads the Cloud KMS keys of the disks (one request per key, GetDiskEncryptionInfoJson) and judges each
// disk's key (GetKeyTypeAndKeyPath, IsKeyTypeSupported, GetKeyStateAndLevel). keyResources, when given,
// receives each Cloud KMS key text's resource as JSON text. false, with the call that failed in what,
// when the keys could not be read at all; a key that alone could not be read is an unsupported one.
bool ReadDiskKeys(GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper& cloud,
                  const std::vector<GoogleCloudSDKWrapper::SDiskInfoLib>& disks, std::vector<DiskKey>& keys,
                  std::unordered_map<std::string, std::string>* keyResources, std::string& what);

}  // namespace gcsdk
