// Compute Engine persistent disks (zonal and regional), a project's own images, and snapshots. Disks
// come from the world's "disks" and from the "bootDisk" of its instances; a disk made from an image
// takes the image's licenses and guest OS features, as Google's do.
// https://cloud.google.com/compute/docs/reference/rest/v1/disks
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeImages.h"
#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"
#include "emulator/KmsModel.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

struct Pending {
    std::string projectId;
    SeedEntry entry;
    std::string key;  // disks: known before they are built, for the images that wait on them
};

std::string ProjectCreated(World::Txn& world, const std::string& projectId) {
    return ZkJson::GetStringValue(*world.FindProject(projectId), "createTime");
}

std::string DiskKey(World::Txn& world, const SeedEntry& entry, const std::string& projectId) {
    const std::string project = "projects/" + projectId;
    const std::string name = entry.RequiredText("name");
    if (entry.Has("zone") == entry.Has("region")) entry.Fail("a disk needs either a zone or a region");
    const std::string location = entry.Has("zone") ? project + "/zones/" + entry.RequiredText("zone")
                                                   : project + "/regions/" + entry.RequiredText("region");
    if (!world.Find(entry.Has("zone") ? collections::kZones : collections::kRegions, location))
        entry.Fail(location + " is not among the project's locations");
    return location + "/disks/" + name;
}

// False (with the reason) while the disk's source image is not in the world.
bool BuildDisk(World::Txn& world, const Pending& pending, mObject& disk, std::string& waitingFor) {
    const SeedEntry& entry = pending.entry;
    entry.Allow({"name", "zone", "region", "replicaZones", "type", "sizeGb", "sourceImage", "sourceSnapshot",
                 "licenses", "guestOsFeatures", "labels", "kmsKeyName", "description", "status",
                 "creationTimestamp", "architecture"});
    std::string image;
    if (entry.Has("sourceImage")) {
        image = FindImage(world, pending.projectId, entry.Text("sourceImage"));
        if (image.empty()) {
            waitingFor = "sourceImage " + entry.Text("sourceImage") + " is not in the world";
            return false;
        }
    }
    const std::string& key = pending.key;
    const std::string location = key.substr(0, key.rfind("/disks/"));
    const bool regional = !entry.Has("zone");
    const std::string typeName = location + "/diskTypes/" + entry.Text("type", "pd-standard");
    const mObject* type = world.Find(collections::kDiskTypes, typeName);
    if (!type) entry.Fail("disk type " + entry.Text("type") + " is not in " + LastSegment(location));

    disk["kind"] = "compute#disk";
    disk["id"] = StableId(key);
    disk["creationTimestamp"] = entry.CreationTimestamp(world, ProjectCreated(world, pending.projectId), key);
    disk["name"] = entry.Text("name");
    if (entry.Has("description")) disk["description"] = entry.Text("description");
    disk[regional ? "region" : "zone"] = ComputeUrl(location);
    disk["status"] = entry.Text("status", "READY");
    disk["selfLink"] = ComputeUrl(key);
    disk["type"] = ComputeUrl(typeName);
    disk["physicalBlockSizeBytes"] = "4096";
    SetLabels(disk, entry.TextMap("labels"));

    const std::vector<std::string> replicaZones = entry.Texts("replicaZones");
    if (regional) {
        if (replicaZones.size() != 2) entry.Fail("a regional disk needs two replicaZones");
        mArray links;
        for (const std::string& zone : replicaZones) {
            const std::string zoneName = "projects/" + pending.projectId + "/zones/" + zone;
            if (RegionOfZone(zone) != LastSegment(location) || !world.Find(collections::kZones, zoneName))
                entry.Fail("replica zone " + zone + " is not a zone of the disk's region");
            links.push_back(ComputeUrl(zoneName));
        }
        disk["replicaZones"] = std::move(links);
    } else if (!replicaZones.empty()) {
        entry.Fail("only a regional disk has replicaZones");
    }

    if (entry.Has("licenses")) SetLicenses(world, entry, pending.projectId, entry.Texts("licenses"), disk);
    if (entry.Has("guestOsFeatures"))
        disk["guestOsFeatures"] = GuestOsFeatures(entry.Texts("guestOsFeatures"));
    if (entry.Has("architecture")) disk["architecture"] = entry.Text("architecture");
    int64_t minimumGb = 1;
    int64_t sizeGb = std::stoll(ZkJson::GetStringValue(*type, "defaultDiskSizeGb"));
    if (!image.empty()) {
        const mObject& source = *world.Find(collections::kImages, image);
        disk["sourceImage"] = ComputeUrl(image);
        disk["sourceImageId"] = source.at("id");
        InheritImageTraits(source, disk);
        minimumGb = sizeGb = std::stoll(ZkJson::GetStringValue(source, "diskSizeGb"));
    }
    if (entry.Has("sourceSnapshot")) {
        const std::string snapshot =
            QualifiedName(pending.projectId, entry.Text("sourceSnapshot"), "global/snapshots/");
        disk["sourceSnapshot"] = ComputeUrl(snapshot);
        disk["sourceSnapshotId"] = StableId(snapshot);
    }
    sizeGb = entry.Integer("sizeGb", sizeGb);
    if (sizeGb < minimumGb)
        entry.Fail("sizeGb is smaller than its image (" + std::to_string(minimumGb) + " GB)");
    disk["sizeGb"] = std::to_string(sizeGb);
    if (entry.Has("kmsKeyName")) {
        std::string keyName = RelativeName(entry.Text("kmsKeyName"));
        if (keyName.find("/cryptoKeys/") == std::string::npos)
            entry.Fail("kmsKeyName is not a Cloud KMS key");
        // The world's keys are seeded before its disks; a disk may keep a key that was disabled since.
        const mObject* key = world.Find(collections::kKmsCryptoKeys, CryptoKeyOf(keyName));
        if (!key) entry.Fail("kmsKeyName " + CryptoKeyOf(keyName) + " is not a key of the world's keyRings");
        if (keyName == CryptoKeyOf(keyName)) {
            const mObject* primary = ZkJson::FindObject(*key, "primary");
            keyName = primary ? ZkJson::GetStringValue(*primary, "name") : keyName + "/cryptoKeyVersions/1";
        }
        disk["diskEncryptionKey"] = mObject{{"kmsKeyName", keyName}};
    }
    return true;
}

mObject Snapshot(World::Txn& world, const SeedEntry& entry, const std::string& projectId) {
    entry.Allow({"name", "sourceDisk", "diskSizeGb", "labels", "description", "status", "creationTimestamp",
                 "licenses", "guestOsFeatures"});
    const std::string name = "projects/" + projectId + "/global/snapshots/" + entry.RequiredText("name");
    const std::string sourceDisk = QualifiedName(projectId, entry.RequiredText("sourceDisk"), "");
    std::string location;
    if (!IsDiskName(sourceDisk, &location))
        entry.Fail("sourceDisk is not of the form zones/Z/disks/D or regions/R/disks/D");
    const mObject* disk = world.Find(collections::kDisks, sourceDisk);
    if (!disk && !entry.Has("diskSizeGb"))
        entry.Fail("a snapshot of a disk that is not in the world needs diskSizeGb");

    mObject snapshot;
    snapshot["kind"] = "compute#snapshot";
    snapshot["id"] = StableId(name);
    snapshot["creationTimestamp"] =
        disk ? entry.CreationTimestampAfter(world, ZkJson::GetStringValue(*disk, "creationTimestamp"), name)
             : entry.CreationTimestamp(world, ProjectCreated(world, projectId), name);
    snapshot["name"] = entry.Text("name");
    snapshot["description"] = entry.Text("description");
    snapshot["status"] = entry.Text("status", "READY");
    snapshot["sourceDisk"] = ComputeUrl(sourceDisk);
    snapshot["sourceDiskId"] = disk ? disk->at("id") : mValue(StableId(sourceDisk));
    const int64_t sizeGb =
        entry.Integer("diskSizeGb", disk ? std::stoll(ZkJson::GetStringValue(*disk, "sizeGb")) : 0);
    snapshot["diskSizeGb"] = std::to_string(sizeGb);
    snapshot["storageBytes"] = std::to_string(sizeGb * 301989888);
    snapshot["storageBytesStatus"] = "UP_TO_DATE";
    snapshot["selfLink"] = ComputeUrl(name);
    SetLabels(snapshot, entry.TextMap("labels"));
    if (entry.Has("licenses")) SetLicenses(world, entry, projectId, entry.Texts("licenses"), snapshot);
    if (entry.Has("guestOsFeatures"))
        snapshot["guestOsFeatures"] = GuestOsFeatures(entry.Texts("guestOsFeatures"));
    if (disk) InheritImageTraits(*disk, snapshot);
    snapshot["storageLocations"] = mArray{StorageLocation(location)};
    snapshot["snapshotType"] = "STANDARD";
    snapshot["creationSizeBytes"] = snapshot["storageBytes"];
    snapshot["downloadBytes"] = "3167";
    return snapshot;
}

class ComputeDisksApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.disks"; }

    void Register(Router& router, EmulatorContext& context) override {
        for (const char* scope : {"zones/{zone}", "regions/{region}"}) {
            AddListRoute(router, context, scope + std::string("/disks"), collections::kDisks,
                         "compute#diskList");
            AddGetRoute(router, context, scope + std::string("/disks/{name}"), collections::kDisks);
        }
        AddListRoute(router, context, "global/snapshots", collections::kSnapshots, "compute#snapshotList");
        AddGetRoute(router, context, "global/snapshots/{name}", collections::kSnapshots);
    }

    void Seed(World::Txn& world) override {
        std::deque<mObject> bootDisks;  // the entries made from instances' bootDisk, kept for the seeding
        std::vector<Pending> disks;
        std::vector<Pending> images;
        for (const auto& [projectId, seed] : SeedProjects(world)) {
            const std::string where = "project " + projectId;
            for (const SeedEntry& entry : SeedSection(*seed, "disks", where))
                disks.push_back({projectId, entry, DiskKey(world, entry, projectId)});
            for (const SeedEntry& instance : SeedSection(*seed, "instances", where)) {
                const mObject* boot = instance.Object("bootDisk");
                if (!boot) continue;
                // Made with its instance, and named after it unless it names itself.
                const std::string zone = instance.RequiredText("zone");
                const std::string created =
                    instance.CreationTimestamp(world, ProjectCreated(world, projectId),
                                               "projects/" + projectId + "/zones/" + zone + "/instances/" +
                                                   instance.RequiredText("name"));
                bootDisks.push_back(*boot);
                bootDisks.back().emplace("name", instance.RequiredText("name"));
                bootDisks.back().emplace("creationTimestamp", created);
                bootDisks.back()["zone"] = zone;
                const SeedEntry entry(bootDisks.back(), instance.where() + ": bootDisk");
                disks.push_back({projectId, entry, DiskKey(world, entry, projectId)});
            }
            for (const SeedEntry& entry : SeedSection(*seed, "images", where))
                images.push_back({projectId, entry, ""});
        }
        BuildInDependencyOrder(world, disks, images);
        for (const auto& [projectId, seed] : SeedProjects(world)) {
            for (const SeedEntry& entry : SeedSection(*seed, "snapshots", "project " + projectId))
                PutNew(world, collections::kSnapshots, Snapshot(world, entry, projectId), entry);
        }
    }

private:
    // Disks may come from a project's images, and images from a project's disks: each is built once
    // what it comes from is there.
    static void BuildInDependencyOrder(World::Txn& world, std::vector<Pending>& disks,
                                       std::vector<Pending>& images) {
        for (bool progress = true; progress;) {
            progress = false;
            for (auto it = disks.begin(); it != disks.end();) {
                mObject disk;
                std::string waitingFor;
                if (BuildDisk(world, *it, disk, waitingFor)) {
                    PutNew(world, collections::kDisks, std::move(disk), it->entry);
                    it = disks.erase(it);
                    progress = true;
                } else {
                    ++it;
                }
            }
            for (auto it = images.begin(); it != images.end();) {
                const std::string source = ImageSourceDisk(it->entry, it->projectId);
                bool waiting = false;
                for (const Pending& disk : disks) waiting = waiting || disk.key == source;
                if (waiting) {
                    ++it;
                    continue;
                }
                PutNew(world, collections::kImages,
                       ImageResource(world, it->entry, it->projectId, ProjectCreated(world, it->projectId)),
                       it->entry);
                it = images.erase(it);
                progress = true;
            }
        }
        for (const Pending& disk : disks) {
            mObject unused;
            std::string waitingFor;
            BuildDisk(world, disk, unused, waitingFor);
            disk.entry.Fail(waitingFor);
        }
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeDisksApi() {
    return std::make_unique<ComputeDisksApi>();
}

}  // namespace gcemu
