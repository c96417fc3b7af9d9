// What the demo requires of the keys of the VM's disks before it restores them, and how it shows them.
#pragma once

#include <string>
#include <vector>

#include "commands/DiskKeys.h"

namespace gcsdk {
namespace demo {

// Empty when every disk's key is supported, one of them is a Cloud KMS key (the path the demo shows),
// and the key of another protection level was refused with its reason; else what does not hold.
std::string JudgeDiskKeys(const std::vector<DiskKey>& keys, const DiskKey& refused);

// "vault-data: kmsKeyName projects/.../cryptoKeys/disk-key (ENABLED, SOFTWARE), supported", "secure-1: no
// key", "d: rawKey, not supported: <reason>".
std::string DiskKeyText(const DiskKey& key);

}  // namespace demo
}  // namespace gcsdk
