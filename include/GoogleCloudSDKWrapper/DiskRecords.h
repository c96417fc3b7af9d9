// Disks, snapshots, images, disk types and licenses of Compute Engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "KeyValueRecords.h"

namespace GoogleCloudSDKWrapper {

// The guest OS feature types of a disk or image ("UEFI_COMPATIBLE", "GVNIC", ...).
struct GCSDK_API SGuestOSFeaturesLib {
    std::vector<std::string> guestOsFeatures;
};

// One record for both shapes Compute Engine gives a disk: the disk resource and the attached-disk
// entry of an instance.
struct GCSDK_API SDiskInfoLib {
    std::string name;
    std::string id;
    std::string source;  // the disk's full URL
    std::string type;    // disk type name (resource) or attached type such as "PERSISTENT", "SCRATCH"
    std::string zone;
    std::string status;
    std::string deviceName;
    std::string description;
    std::vector<std::string> licenses;  // license URLs
    int32_t index = 0;
    std::string rawJson;  // the disk resource as read by the disk query, or as the agent saved it
    std::vector<SKeyValueInfoLib> labels;
    std::string labelFingerprint;
    bool isEncrypted = false;
    std::string encryptionKey;  // key type, ':', key reference ("kmsKeyName:projects/.../cryptoKeys/k")
    std::string sourceSnapshot;
    std::string sourceSnapshotId;
    std::string sourceImage;
    std::string sourceImageId;
    std::string mode;
    std::vector<std::string> users;  // names of the VMs using the disk
    SGuestOSFeaturesLib guestOsFeatures;
    std::string sourceDisk;  // written into a disk body when set
    std::string interface;
    int64_t sizeGb = 0;
    bool boot = false;
    bool autoDelete = false;
    std::vector<std::string> replicaZones;  // zone names

    // Orders the boot disk before the others.
    static bool OSdiskSort(const SDiskInfoLib& a, const SDiskInfoLib& b) { return a.boot && !b.boot; }
};

struct GCSDK_API SSnapshotInfoLib {
    std::string name;
    std::string id;
    std::string selfLink;
    std::string description;
    std::string sourceDisk;  // disk name
    std::string sourceDiskId;
    std::string status;
    std::string creationTimestamp;
    bool guestFlush = false;  // ask the guest to flush before the snapshot
    std::vector<SKeyValueInfoLib> labels;
    int64_t diskSizeGb = 0;
};

struct GCSDK_API SImageInfoLib {
    std::string name;
    std::string id;
    std::string selfLink;
    std::string description;
    std::string status;
    std::string sourceDisk;  // disk name
    std::string sourceDiskId;
    int64_t diskSizeGb = 0;
};

struct GCSDK_API SDiskTypeInfoLib {
    std::string name;
    std::string id;
    std::string selfLink;
    std::string zone;
    std::string description;
};

struct GCSDK_API SLicenseInfoLib {
    std::string name;
    std::string selfLink;
};

}  // namespace GoogleCloudSDKWrapper
