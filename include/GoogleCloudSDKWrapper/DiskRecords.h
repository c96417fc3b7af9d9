/// @file
/// Disks, snapshots, images, disk types and licenses of Compute Engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "KeyValueRecords.h"

namespace GoogleCloudSDKWrapper {

/// The guest OS feature types of a disk or image ("UEFI_COMPATIBLE", "GVNIC", ...).
struct GCSDK_API SGuestOSFeaturesLib {
    std::vector<std::string> guestOsFeatures;  ///< the feature types, as Compute Engine names them
};

/// One record for both shapes Compute Engine gives a disk: the disk resource (GetDiskInfo()) and the
/// attached-disk entry of an instance (SVMInfoLib::disks). Reading the resource over the entry keeps
/// what only the entry knows (deviceName, index, boot, mode, autoDelete). As a body (CreateDisk(),
/// CreateDiskFromSnapshot(), CloneDisk()) only the members said so are sent.
struct GCSDK_API SDiskInfoLib {
    std::string name;         ///< the disk's name (of an attached entry: the last segment of its source)
    std::string id;           ///< the disk's numeric id, as decimal text
    std::string source;       ///< the disk's full URL
    std::string type;         ///< disk type name ("pd-ssd", as a body takes it), or "PERSISTENT", "SCRATCH"
    std::string zone;         ///< zone name; for an attached entry, the VM's zone
    std::string status;       ///< "CREATING", "RESTORING", "READY", "FAILED", "DELETING"
    std::string deviceName;   ///< the name the VM's guest sees the disk by (attached entry)
    std::string description;  ///< free text; sent in a body when set
    std::vector<std::string> licenses;  ///< license URLs; sent in a body
    int32_t index = 0;                  ///< the disk's position on the VM (attached entry)
    std::string rawJson;  ///< the disk resource as read by the disk query, or as the agent saved it
    std::vector<SKeyValueInfoLib> labels;  ///< in key order; sent in a body
    std::string labelFingerprint;          ///< the fingerprint of the labels as read, for SetDiskLabels()
    bool isEncrypted = false;              ///< the disk has a diskEncryptionKey; sent with encryptionKey
    std::string encryptionKey;   ///< key type, ':', key reference ("kmsKeyName:projects/.../cryptoKeys/k")
    std::string sourceSnapshot;  ///< read: the snapshot it came from, by name; body: its URL or relative name
    std::string sourceSnapshotId;  ///< that snapshot's id
    std::string sourceImage;       ///< read: the image it came from, by name; body: its URL or relative name
    std::string sourceImageId;     ///< that image's id
    std::string mode;              ///< "READ_WRITE" or "READ_ONLY" (attached entry)
    std::vector<std::string> users;         ///< names of the VMs using the disk
    SGuestOSFeaturesLib guestOsFeatures;    ///< the disk's guest OS features; sent in a body
    std::string sourceDisk;                 ///< written into a disk body when set (a clone's source)
    std::string interface;                  ///< "SCSI" or "NVME"; sent in a body when set
    int64_t sizeGb = 0;                     ///< size in GB; sent in a body when not 0
    bool boot = false;                      ///< the VM's boot disk (attached entry)
    bool autoDelete = false;                ///< deleted with the VM (attached entry)
    std::vector<std::string> replicaZones;  ///< zone names, of a regional disk

    /// Orders the boot disk before the others.
    static bool OSdiskSort(const SDiskInfoLib& a, const SDiskInfoLib& b) { return a.boot && !b.boot; }
};

/// A snapshot as read, or the body of a new one (name, description, labels, guestFlush).
struct GCSDK_API SSnapshotInfoLib {
    std::string name;                      ///< the snapshot's name
    std::string id;                        ///< its numeric id, as decimal text
    std::string selfLink;                  ///< its URL, for CreateDiskFromSnapshot()
    std::string description;               ///< free text
    std::string sourceDisk;                ///< disk name
    std::string sourceDiskId;              ///< the source disk's id
    std::string status;                    ///< "CREATING", "UPLOADING", "READY", "FAILED", "DELETING"
    std::string creationTimestamp;         ///< RFC 3339, as Compute Engine writes it
    bool guestFlush = false;               ///< ask the guest to flush before the snapshot
    std::vector<SKeyValueInfoLib> labels;  ///< in key order
    int64_t diskSizeGb = 0;                ///< the source disk's size in GB
};

/// A project's own image.
struct GCSDK_API SImageInfoLib {
    std::string name;          ///< the image's name
    std::string id;            ///< its numeric id, as decimal text
    std::string selfLink;      ///< its URL
    std::string description;   ///< free text
    std::string status;        ///< "PENDING", "READY", "FAILED", "DELETING"
    std::string sourceDisk;    ///< disk name
    std::string sourceDiskId;  ///< the source disk's id
    int64_t diskSizeGb = 0;    ///< size in GB of a disk made from it
};

/// A disk type of a zone or region ("pd-ssd").
struct GCSDK_API SDiskTypeInfoLib {
    std::string name;         ///< the type's name
    std::string id;           ///< its numeric id, as decimal text
    std::string selfLink;     ///< its URL, which a disk body takes
    std::string zone;         ///< the zone's URL (empty for a regional type)
    std::string description;  ///< "SSD Persistent Disk", ...
};

/// A license an image project publishes.
struct GCSDK_API SLicenseInfoLib {
    std::string name;      ///< the license's name
    std::string selfLink;  ///< its URL, as disks list it
};

}  // namespace GoogleCloudSDKWrapper
