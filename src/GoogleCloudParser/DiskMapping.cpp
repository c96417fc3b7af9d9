// Disks, guest OS features, snapshots, images, disk types and licenses; the disk and snapshot bodies.
#include <string>
#include <utility>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudParser/MappingHelpers.h"
#include "host/CXwString.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

namespace {

const char kAttachedDiskKind[] = "compute#attachedDisk";
const char kKeyVersionsSegment[] = "cryptoKeyVersions";

// A disk reports the key version it was encrypted with (".../cryptoKeys/k/cryptoKeyVersions/3"); a new
// disk is created with the key itself, so the version suffix is dropped. A name without that suffix
// (the API may return the bare key too) is already the key and is kept whole: cutting two segments off
// it would name the key ring instead.
std::string KmsKeyWithoutVersion(const std::string& kmsKeyName) {
    std::vector<std::string> segments;
    CXwString(kmsKeyName).Tokenize(segments, 0, 0, false, '/', true);
    if (segments.size() < 3 || segments[segments.size() - 2] != kKeyVersionsSegment) return kmsKeyName;
    segments.resize(segments.size() - 2);
    std::string key;
    JtString::Join(segments, "/", key);
    return key;
}

}  // namespace

bool CGoogleCloudParser::Convert(const mObject& object, SDiskInfoLib& disk) {
    // Names from URL lists, so that reading a disk into a record filled before does not repeat them.
    auto lastSegments = [this](const mObject& from, const std::string& key, std::vector<std::string>& names) {
        std::vector<std::string> urls;
        if (!ConvertNestedListString(from, key, urls)) return;
        names.clear();
        for (const std::string& url : urls) names.push_back(GetRSubStrFromLastSlash(url));
    };

    if (GetStringValue(object, "kind") != kAttachedDiskKind) {
        disk.name = GetStringValue(object, "name");
        disk.source = GetStringValue(object, "selfLink");
        disk.type = GetRSubStrFromLastSlash(GetStringValue(object, "type"));
        lastSegments(object, "users", disk.users);
    } else {
        disk.source = GetStringValue(object, "source");
        disk.name = GetRSubStrFromLastSlash(disk.source);
        disk.deviceName = GetStringValue(object, "deviceName");
        disk.index = GetIntValue(object, "index");
        disk.boot = GetBoolValue(object, "boot");
        disk.type = GetStringValue(object, "type");  // "PERSISTENT" or "SCRATCH", kept as is
    }

    if (const mObject* key = ZkJson::FindObject(object, "diskEncryptionKey")) {
        disk.isEncrypted = true;
        std::string kmsKeyName = GetStringValue(*key, "kmsKeyName");
        std::string sha256 = GetStringValue(*key, "sha256");
        if (!kmsKeyName.empty())
            disk.encryptionKey = "kmsKeyName:" + KmsKeyWithoutVersion(kmsKeyName);
        else if (!sha256.empty())
            disk.encryptionKey = "sha256:" + sha256;
        else
            disk.encryptionKey = "rawKey:" + GetStringValue(*key, "rawKey");
    }

    disk.id = GetStringValue(object, "id");
    disk.zone = GetRSubStrFromLastSlash(GetStringValue(object, "zone"));
    disk.description = GetStringValue(object, "description");
    disk.status = GetStringValue(object, "status");
    disk.interface = GetStringValue(object, "interface");

    // Only the attached entry knows these; reading the disk resource over it must not lose them.
    std::string mode = GetStringValue(object, "mode");
    if (!mode.empty()) disk.mode = std::move(mode);
    if (GetBoolValue(object, "autoDelete")) disk.autoDelete = true;

    std::string sizeGb = GetStringValue(object, "sizeGb");
    if (!sizeGb.empty()) disk.sizeGb = DecimalOrZero(sizeGb);

    disk.sourceSnapshot = GetRSubStrFromLastSlash(GetStringValue(object, "sourceSnapshot"));
    disk.sourceSnapshotId = GetStringValue(object, "sourceSnapshotId");
    disk.sourceImage = GetRSubStrFromLastSlash(GetStringValue(object, "sourceImage"));
    disk.sourceImageId = GetStringValue(object, "sourceImageId");

    // The attached entry carries licenses and features too: a present list replaces what was read before.
    std::vector<std::string> licenses;
    if (ConvertNestedListString(object, "licenses", licenses)) disk.licenses = std::move(licenses);
    std::vector<SKeyValueInfoLib> labels;
    if (ConvertObjtoKeyPairList(object, "labels", labels)) disk.labels = std::move(labels);
    disk.labelFingerprint = GetStringValue(object, "labelFingerprint");

    lastSegments(object, "replicaZones", disk.replicaZones);

    if (const mArray* features = ZkJson::FindArray(object, "guestOsFeatures")) {
        disk.guestOsFeatures.guestOsFeatures.clear();
        ConvertList(*features, disk.guestOsFeatures);
    }
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SGuestOSFeaturesLib& features) {
    // An element without a type names no feature; writing it back as "" would fail the disk insert.
    std::string type = GetStringValue(object, "type");
    if (!type.empty()) features.guestOsFeatures.push_back(std::move(type));
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSnapshotInfoLib& snapshot) {
    snapshot.name = GetStringValue(object, "name");
    snapshot.id = GetStringValue(object, "id");
    snapshot.selfLink = GetStringValue(object, "selfLink");
    snapshot.description = GetStringValue(object, "description");
    snapshot.status = GetStringValue(object, "status");
    snapshot.sourceDisk = GetRSubStrFromLastSlash(GetStringValue(object, "sourceDisk"));
    snapshot.sourceDiskId = GetStringValue(object, "sourceDiskId");
    snapshot.creationTimestamp = GetStringValue(object, "creationTimestamp");
    std::string diskSizeGb = GetStringValue(object, "diskSizeGb");
    if (!diskSizeGb.empty()) snapshot.diskSizeGb = DecimalOrZero(diskSizeGb);
    std::vector<SKeyValueInfoLib> labels;
    if (ConvertObjtoKeyPairList(object, "labels", labels)) snapshot.labels = std::move(labels);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SImageInfoLib& image) {
    image.name = GetStringValue(object, "name");
    image.id = GetStringValue(object, "id");
    image.selfLink = GetStringValue(object, "selfLink");
    image.description = GetStringValue(object, "description");
    image.status = GetStringValue(object, "status");
    image.sourceDisk = GetRSubStrFromLastSlash(GetStringValue(object, "sourceDisk"));
    image.sourceDiskId = GetStringValue(object, "sourceDiskId");
    std::string diskSizeGb = GetStringValue(object, "diskSizeGb");
    if (!diskSizeGb.empty()) image.diskSizeGb = DecimalOrZero(diskSizeGb);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SDiskTypeInfoLib& diskType) {
    diskType.name = GetStringValue(object, "name");
    diskType.id = GetStringValue(object, "id");
    diskType.selfLink = GetStringValue(object, "selfLink");
    diskType.zone = GetStringValue(object, "zone");
    diskType.description = GetStringValue(object, "description");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SLicenseInfoLib& license) {
    license.name = GetStringValue(object, "name");
    license.selfLink = GetStringValue(object, "selfLink");
    return true;
}

bool CGoogleCloudParser::Convert(SDiskInfoLib& disk, mObject& object) {
    object["name"] = disk.name;
    if (disk.sizeGb != 0) object["sizeGb"] = mValue(static_cast<int64_t>(disk.sizeGb));
    if (!disk.type.empty()) object["type"] = disk.type;
    if (!disk.description.empty()) object["description"] = disk.description;

    // One source only: the API refuses a disk with two.
    if (!disk.sourceSnapshot.empty())
        object["sourceSnapshot"] = disk.sourceSnapshot;
    else if (!disk.sourceImage.empty())
        object["sourceImage"] = disk.sourceImage;
    else if (!disk.sourceDisk.empty())
        object["sourceDisk"] = disk.sourceDisk;

    object["labels"] = LabelsObject(disk.labels);
    if (!disk.labelFingerprint.empty()) object["labelFingerprint"] = disk.labelFingerprint;
    object["licenses"] = mArray(disk.licenses.begin(), disk.licenses.end());
    if (!disk.replicaZones.empty())
        object["replicaZones"] = mArray(disk.replicaZones.begin(), disk.replicaZones.end());

    if (disk.isEncrypted && !disk.encryptionKey.empty()) {
        std::string keyType;
        std::string keyPath;
        if (!GetKeyTypeAndKeyPath(disk.encryptionKey, keyType, keyPath)) {
            // The key text itself may be secret (a raw key): name the disk only.
            logger.Error(__PRETTY_FUNCTION__, "Disk [%s]: encryption key is not of the form type:path",
                         disk.name.c_str());
            return false;
        }
        object["diskEncryptionKey"] = mObject{{keyType, keyPath}};
    }

    mArray features;
    for (const std::string& feature : disk.guestOsFeatures.guestOsFeatures)
        features.push_back(mObject{{"type", feature}});
    object["guestOsFeatures"] = std::move(features);

    if (!disk.interface.empty()) object["interface"] = disk.interface;
    return true;
}

bool CGoogleCloudParser::Convert(SSnapshotInfoLib& snapshot, mObject& object) {
    object["name"] = snapshot.name;
    object["description"] = snapshot.description;
    object["guestFlush"] = snapshot.guestFlush;
    object["labels"] = LabelsObject(snapshot.labels);
    return true;
}

}  // namespace GoogleCloudSDKWrapper
