#include "emulator/ComputeNewDisks.h"

#include <openssl/sha.h>

#include <algorithm>
#include <vector>

#include "emulator/ComputeImages.h"
#include "emulator/ComputeMutations.h"
#include "emulator/Encoding.h"
#include "emulator/KmsModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

constexpr int64_t kLargestDiskGb = 65536;

struct DiskRequest {
    World::Txn& world;
    const std::string& projectId;
    const mObject& wanted;
};

// The disk's source, or the refusal. No source is fine: a blank disk.
bool FindSource(const DiskRequest& r, const std::string& scope, DiskSource& source, Response& refusal) {
    const std::string image = Text(r.wanted, "sourceImage");
    const std::string snapshot = Text(r.wanted, "sourceSnapshot");
    const std::string disk = Text(r.wanted, "sourceDisk");
    const int given = !image.empty() + !snapshot.empty() + !disk.empty();
    if (given > 1) {
        refusal = InvalidFieldResponse(
            "resource", "", "Only one of sourceImage, sourceSnapshot and sourceDisk may be given.");
        return false;
    }
    if (!image.empty()) {
        source.key = FindImage(r.world, r.projectId, image);
        if (source.key.empty()) {
            refusal = ComputeNotFoundResponse(QualifiedName(r.projectId, image, "global/images/"));
            return false;
        }
        source.collection = collections::kImages;
        source.noun = "image";
    } else if (!snapshot.empty()) {
        source.key = QualifiedName(r.projectId, snapshot, "global/snapshots/");
        source.collection = collections::kSnapshots;
        source.noun = "snapshot";
    } else if (!disk.empty()) {
        source.key = QualifiedName(r.projectId, disk, scope + "/disks/");
        if (!IsDiskName(source.key)) {
            refusal = InvalidFieldResponse("resource.sourceDisk", disk, "The URL is malformed.");
            return false;
        }
        source.collection = collections::kDisks;
        source.noun = "source disk";
    } else {
        return true;
    }
    const mObject* found = r.world.Find(source.collection, source.key);
    if (!found) {
        refusal = ComputeNotFoundResponse(source.key);
        return false;
    }
    // Images are READY from the start; snapshots and disks may still be in the making.
    if (source.collection != collections::kImages && Text(*found, "status") != "READY") {
        refusal = NotReadyResponse(source.key);
        return false;
    }
    const std::string size = Text(*found, source.collection == collections::kDisks ? "sizeGb" : "diskSizeGb");
    source.sizeGb = size.empty() ? 1 : std::stoll(size);
    return true;
}

// licenses (links, with their codes) and guestOsFeatures of the request, added to those the disk took
// from its source.
bool AddTraits(const DiskRequest& r, mObject& disk, Response& refusal) {
    if (const mArray* licenses = ZkJson::FindArray(r.wanted, "licenses")) {
        mArray links = disk.count("licenses") ? disk["licenses"].get_array() : mArray();
        mArray codes = disk.count("licenseCodes") ? disk["licenseCodes"].get_array() : mArray();
        for (const mValue& reference : *licenses) {
            if (reference.type() != json_spirit::str_type) continue;
            const std::string name = QualifiedName(r.projectId, reference.get_str(), "global/licenses/");
            const mObject* license = r.world.Find(collections::kLicenses, name);
            if (!license) {
                refusal = ComputeNotFoundResponse(name);
                return false;
            }
            const mValue link(ComputeUrl(name));
            if (std::find(links.begin(), links.end(), link) != links.end()) continue;
            links.push_back(link);
            codes.push_back(Text(*license, "licenseCode"));
        }
        if (!links.empty()) disk["licenses"] = links;
        if (!codes.empty()) disk["licenseCodes"] = codes;
    }
    if (const mArray* features = ZkJson::FindArray(r.wanted, "guestOsFeatures")) {
        for (const mValue& feature : *features) {
            const std::string type =
                feature.type() == json_spirit::obj_type ? Text(feature.get_obj(), "type") : std::string();
            if (type.empty() || HasGuestOsFeature(disk, type)) continue;
            disk.emplace("guestOsFeatures", mArray())
                .first->second.get_array()
                .push_back(mObject{{"type", type}});
        }
    }
    return true;
}

// diskEncryptionKey as Google reports it: a Cloud KMS key with the version it encrypts with, or the
// SHA-256 of a key the customer supplied (never the key itself). A Cloud KMS key must exist with its
// primary version enabled, as Compute Engine asks Cloud KMS before it makes the disk.
bool ReadEncryptionKey(const DiskRequest& r, mObject& disk, Response& refusal) {
    const mObject* given = ZkJson::FindObject(r.wanted, "diskEncryptionKey");
    if (!given || given->empty()) return true;
    const std::string kms = Text(*given, "kmsKeyName");
    if (!kms.empty()) {
        if (kms.find("/cryptoKeys/") == std::string::npos) {
            refusal = InvalidFieldResponse("resource.diskEncryptionKey.kmsKeyName", kms,
                                           "The KMS key name is malformed.");
            return false;
        }
        std::string version;
        std::string problem;
        if (!UsableDiskKey(r.world, kms, version, problem)) {
            refusal = ComputeErrorResponse(400, "invalid", problem);
            return false;
        }
        disk["diskEncryptionKey"] = mObject{{"kmsKeyName", version}};
        return true;
    }
    for (const char* member : {"rawKey", "rsaEncryptedKey"}) {
        const std::string key = Text(*given, member);
        if (key.empty()) continue;
        unsigned char digest[SHA256_DIGEST_LENGTH];
        SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest);
        disk["diskEncryptionKey"] = mObject{
            {"sha256", Base64Encode(std::string(reinterpret_cast<const char*>(digest), sizeof digest))}};
        return true;
    }
    refusal = InvalidFieldResponse("resource.diskEncryptionKey", "", "A key must be given.");
    return false;
}

bool ReadReplicaZones(const DiskRequest& r, const std::string& location, bool regional, mObject& disk,
                      Response& refusal) {
    std::vector<std::string> zones;
    if (const mArray* given = ZkJson::FindArray(r.wanted, "replicaZones")) {
        for (const mValue& zone : *given) {
            if (zone.type() == json_spirit::str_type)
                zones.push_back(QualifiedName(r.projectId, zone.get_str(), "zones/"));
        }
    }
    if (!regional) {
        if (zones.empty()) return true;
        refusal =
            InvalidFieldResponse("resource.replicaZones", "", "Only a regional disk has replica zones.");
        return false;
    }
    bool good = zones.size() == 2 && zones[0] != zones[1];
    for (const std::string& zone : zones) {
        good = good && r.world.Find(collections::kZones, zone) &&
               RegionOfZone(LastSegment(zone)) == LastSegment(location);
    }
    if (!good) {
        refusal = InvalidFieldResponse("resource.replicaZones", "",
                                       "A regional disk needs two different zones of its region.");
        return false;
    }
    disk["replicaZones"] = mArray{ComputeUrl(zones[0]), ComputeUrl(zones[1])};
    return true;
}

bool ReadSize(const DiskRequest& r, const mObject& type, const DiskSource& source, int64_t& sizeGb,
              Response& refusal) {
    sizeGb = source.collection ? source.sizeGb : std::stoll(Text(type, "defaultDiskSizeGb"));
    if (r.wanted.count("sizeGb") && !ReadInt64(r.wanted, "sizeGb", sizeGb)) {
        refusal = InvalidFieldResponse("resource.sizeGb", ZkJson::Serialize(r.wanted.at("sizeGb")),
                                       "Must be an integer.");
        return false;
    }
    if (sizeGb < 1 || sizeGb > kLargestDiskGb) {
        refusal = InvalidFieldResponse("resource.sizeGb", std::to_string(sizeGb),
                                       "Disk size must be from 1 to 65536 GB.");
        return false;
    }
    if (source.collection && sizeGb < source.sizeGb) {
        refusal = InvalidFieldResponse("resource.sizeGb", std::to_string(sizeGb),
                                       std::string("Requested disk size cannot be smaller than the ") +
                                           source.noun + " size (" + std::to_string(source.sizeGb) + " GB).");
        return false;
    }
    return true;
}

}  // namespace

bool NewDisk(World::Txn& world, const std::string& projectId, const std::string& key, const mObject& wanted,
             mObject& disk, DiskSource& source, Response& refusal) {
    const DiskRequest r{world, projectId, wanted};
    const std::string location = LocationOf(key);
    const std::string scope = ScopeOf(key);
    const bool regional = scope.compare(0, 8, "regions/") == 0;
    const std::string typeRef = Text(wanted, "type");
    const std::string typeKey = typeRef.empty() ? location + "/diskTypes/pd-standard"
                                                : QualifiedName(projectId, typeRef, scope + "/diskTypes/");
    const mObject* type = world.Find(collections::kDiskTypes, typeKey);
    if (!type) {
        refusal = LocationOf(typeKey) != location
                      ? InvalidFieldResponse("resource.type", typeRef,
                                             "The disk type is not of the disk's location.")
                      : ComputeNotFoundResponse(typeKey);
        return false;
    }
    int64_t sizeGb = 0;
    mObject labels;
    if (!FindSource(r, scope, source, refusal) || !ReadSize(r, *type, source, sizeGb, refusal) ||
        !ReadLabels(wanted, labels, refusal))
        return false;

    disk.clear();
    disk["kind"] = "compute#disk";
    disk["id"] = world.NewId();
    disk["creationTimestamp"] = ComputeNow(world);
    disk["name"] = LastSegment(key);
    if (!Text(wanted, "description").empty()) disk["description"] = Text(wanted, "description");
    disk["sizeGb"] = std::to_string(sizeGb);
    disk[regional ? "region" : "zone"] = ComputeUrl(location);
    disk["status"] = "CREATING";
    disk["selfLink"] = ComputeUrl(key);
    disk["type"] = ComputeUrl(typeKey);
    disk["physicalBlockSizeBytes"] = "4096";
    SetNewLabels(world, disk, labels);
    if (source.collection) {
        const mObject& from = *world.Find(source.collection, source.key);
        const std::string field = source.collection == collections::kImages      ? "sourceImage"
                                  : source.collection == collections::kSnapshots ? "sourceSnapshot"
                                                                                 : "sourceDisk";
        disk[field] = ComputeUrl(source.key);
        disk[field + "Id"] = from.at("id");
        InheritImageTraits(from, disk);
    }
    return ReadReplicaZones(r, location, regional, disk, refusal) && AddTraits(r, disk, refusal) &&
           ReadEncryptionKey(r, disk, refusal);
}

}  // namespace gcemu
