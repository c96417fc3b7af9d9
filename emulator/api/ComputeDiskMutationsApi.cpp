// Compute Engine disk and snapshot changes: disks insert, delete, createSnapshot and setLabels (zonal and
// regional), snapshots delete and setLabels, and projects.moveDisk. Each answers with an operation; what
// Google shows at once shows at once (a CREATING disk, a DELETING snapshot), and the change is complete
// when the operation is DONE. Labels change at once: clients set them without following the operation.
// https://cloud.google.com/compute/docs/reference/rest/v1/disks
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeImages.h"
#include "emulator/ComputeMutations.h"
#include "emulator/ComputeNewDisks.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

// What a snapshot of one GB of disk keeps, as the world's snapshots show it.
constexpr int64_t kSnapshotBytesPerGb = 301989888;

std::string DiskLocation(const Mutation& m, bool regional) {
    return "projects/" + m.projectId +
           (regional ? "/regions/" + m.Param("region") : "/zones/" + m.Param("zone"));
}

Response InsertDisk(Mutation& m, bool regional) {
    std::string name;
    Response refusal;
    if (!CheckName(m.body, name, refusal)) return refusal;
    const std::string key = DiskLocation(m, regional) + "/disks/" + name;
    if (m.world.Find(collections::kDisks, key)) return AlreadyExistsResponse(key);
    mObject wanted = m.body;
    if (!m.request.Query("sourceImage").empty() && Text(wanted, "sourceImage").empty())
        wanted["sourceImage"] = m.request.Query("sourceImage");
    mObject disk;
    DiskSource source;
    if (!NewDisk(m.world, m.projectId, key, wanted, disk, source, refusal)) return refusal;

    OperationStart start = m.NewOperation(ScopeOf(key), "insert", key, Text(disk, "id"));
    start.begin = [key, disk](World::Txn& world) { world.Put(collections::kDisks, key, disk); };
    start.finish = [key, source](World::Txn& world) {
        mObject* made = world.Find(collections::kDisks, key);
        if (!made) return OperationFailure::Of(operation_errors::kResourceNotFound);
        if (!source.Exists(world)) {  // deleted while the disk was made
            world.Erase(collections::kDisks, key);
            return OperationFailure::Of(operation_errors::kResourceNotFound,
                                        "The resource '" + source.key + "' was not found");
        }
        (*made)["status"] = "READY";
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

Response DeleteDisk(Mutation& m, bool regional) {
    const std::string key = DiskLocation(m, regional) + "/disks/" + m.Param("disk");
    mObject* disk = m.world.Find(collections::kDisks, key);
    if (!disk) return ComputeNotFoundResponse(key);
    // Google refuses to delete what its insert has not finished making.
    if (Text(*disk, "status") == "CREATING") return NotReadyResponse(key);
    const std::vector<std::string> users = DiskUsers(*disk);
    if (!users.empty()) return InUseResponse("disk", key, users.front());

    OperationStart start = m.NewOperation(ScopeOf(key), "delete", key, Text(*disk, "id"));
    const std::string status = Text(*disk, "status");
    start.begin = [key](World::Txn& world) {
        (*world.Find(collections::kDisks, key))["status"] = "DELETING";
    };
    start.finish = [key, status](World::Txn& world) {
        mObject* disk = world.Find(collections::kDisks, key);
        if (!disk) return OperationFailure();
        const std::vector<std::string> users = DiskUsers(*disk);
        if (!users.empty()) {  // attached while the deletion waited
            (*disk)["status"] = status;
            return InUseFailure("disk", key, users.front());
        }
        world.Erase(collections::kDisks, key);
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

Response CreateSnapshot(Mutation& m, bool regional) {
    const std::string diskKey = DiskLocation(m, regional) + "/disks/" + m.Param("disk");
    const mObject* disk = m.world.Find(collections::kDisks, diskKey);
    if (!disk) return ComputeNotFoundResponse(diskKey);
    if (Text(*disk, "status") != "READY") return NotReadyResponse(diskKey);
    const std::string guestFlush = m.request.Query("guestFlush");
    if (!guestFlush.empty() && guestFlush != "true" && guestFlush != "false")
        return InvalidFieldResponse("guestFlush", guestFlush, "Must be true or false.");
    std::string name;
    Response refusal;
    if (!CheckName(m.body, name, refusal)) return refusal;
    const std::string key = "projects/" + m.projectId + "/global/snapshots/" + name;
    if (m.world.Find(collections::kSnapshots, key)) return AlreadyExistsResponse(key);
    mObject labels;
    if (!ReadLabels(m.body, labels, refusal)) return refusal;

    mObject snapshot;
    snapshot["kind"] = "compute#snapshot";
    snapshot["id"] = m.world.NewId();
    snapshot["creationTimestamp"] = ComputeNow(m.world);
    snapshot["name"] = name;
    snapshot["description"] = Text(m.body, "description");
    snapshot["status"] = "CREATING";
    snapshot["sourceDisk"] = ComputeUrl(diskKey);
    snapshot["sourceDiskId"] = disk->at("id");
    snapshot["diskSizeGb"] = disk->at("sizeGb");
    snapshot["storageBytes"] = "0";
    snapshot["storageBytesStatus"] = "UPDATING";
    snapshot["selfLink"] = ComputeUrl(key);
    SetNewLabels(m.world, snapshot, labels);
    InheritImageTraits(*disk, snapshot);
    const mArray* locations = ZkJson::FindArray(m.body, "storageLocations");
    snapshot["storageLocations"] = locations && !locations->empty()
                                       ? *locations
                                       : mArray{StorageLocation(LastSegment(LocationOf(diskKey)))};
    snapshot["snapshotType"] =
        Text(m.body, "snapshotType").empty() ? "STANDARD" : Text(m.body, "snapshotType");

    OperationStart start = m.NewOperation(ScopeOf(diskKey), "createSnapshot", diskKey, Text(*disk, "id"));
    start.watched.push_back(key);
    start.begin = [key, snapshot](World::Txn& world) { world.Put(collections::kSnapshots, key, snapshot); };
    // As on Google: CREATING while the disk is read, UPLOADING while the data goes to storage, READY.
    start.running = [key](World::Txn& world) {
        if (mObject* made = world.Find(collections::kSnapshots, key)) (*made)["status"] = "UPLOADING";
    };
    start.finish = [key, diskKey](World::Txn& world) {
        mObject* made = world.Find(collections::kSnapshots, key);
        if (!made)
            return OperationFailure::Of(operation_errors::kResourceNotFound,
                                        "The resource '" + key + "' was not found");
        if (!world.Find(collections::kDisks, diskKey)) {
            world.Erase(collections::kSnapshots, key);
            return OperationFailure::Of(operation_errors::kResourceNotFound);
        }
        const std::string bytes = std::to_string(std::stoll(Text(*made, "diskSizeGb")) * kSnapshotBytesPerGb);
        (*made)["status"] = "READY";
        (*made)["storageBytes"] = bytes;
        (*made)["creationSizeBytes"] = bytes;
        (*made)["storageBytesStatus"] = "UP_TO_DATE";
        (*made)["downloadBytes"] = "3167";
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

// The fingerprint must be the labels' current one: Google refuses a change made on stale labels.
Response SetLabelsOf(Mutation& m, const char* collection, const std::string& key) {
    mObject* resource = m.world.Find(collection, key);
    if (!resource) return ComputeNotFoundResponse(key);
    if (Text(m.body, "labelFingerprint") != Text(*resource, "labelFingerprint"))
        return ComputeErrorResponse(412, "conditionNotMet",
                                    "Labels fingerprint either invalid or resource labels have changed");
    mObject labels;
    Response refusal;
    if (!ReadLabels(m.body, labels, refusal)) return refusal;
    OperationStart start = m.NewOperation(ScopeOf(key), "setLabels", key, Text(*resource, "id"));
    start.begin = [collection, key, labels](World::Txn& world) {
        SetNewLabels(world, *world.Find(collection, key), labels);
    };
    return m.Answer(std::move(start));
}

Response DeleteSnapshot(Mutation& m) {
    const std::string key = "projects/" + m.projectId + "/global/snapshots/" + m.Param("snapshot");
    const mObject* snapshot = m.world.Find(collections::kSnapshots, key);
    if (!snapshot) return ComputeNotFoundResponse(key);
    const std::string status = Text(*snapshot, "status");
    if (status == "CREATING" || status == "UPLOADING") return NotReadyResponse(key);
    OperationStart start = m.NewOperation("global", "delete", key, Text(*snapshot, "id"));
    start.begin = [key](World::Txn& world) {
        (*world.Find(collections::kSnapshots, key))["status"] = "DELETING";
    };
    start.finish = [key](World::Txn& world) {
        world.Erase(collections::kSnapshots, key);
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

// A zonal disk that no instance uses goes to another zone under its name, as a new resource.
Response MoveDisk(Mutation& m) {
    const std::string target = Text(m.body, "targetDisk");
    const std::string destination = Text(m.body, "destinationZone");
    const std::string key = QualifiedName(m.projectId, target, "");
    if (!IsDiskName(key) || Segments(key)[2] != "zones" || Segments(key)[1] != m.projectId)
        return InvalidFieldResponse("targetDisk", target, "Must be a zonal disk of the project.");
    const mObject* disk = m.world.Find(collections::kDisks, key);
    if (!disk) return ComputeNotFoundResponse(key);
    const std::string zone = QualifiedName(m.projectId, destination, "zones/");
    const std::vector<std::string> zoneParts = Segments(zone);
    if (zoneParts.size() != 4 || zoneParts[2] != "zones" || !m.world.Find(collections::kZones, zone))
        return ComputeNotFoundResponse(zone);
    if (zone == LocationOf(key))
        return InvalidFieldResponse("destinationZone", destination, "The disk is in that zone already.");
    const std::vector<std::string> users = DiskUsers(*disk);
    if (!users.empty()) return InUseResponse("disk", key, users.front());
    if (Text(*disk, "status") != "READY") return NotReadyResponse(key);
    const std::string movedKey = zone + "/disks/" + LastSegment(key);
    if (m.world.Find(collections::kDisks, movedKey)) return AlreadyExistsResponse(movedKey);

    OperationStart start = m.NewOperation("global", "moveDisk", key, Text(*disk, "id"));
    start.watched.push_back(movedKey);
    start.finish = [key, zone, movedKey](World::Txn& world) {
        const mObject* disk = world.Find(collections::kDisks, key);
        if (!disk) return OperationFailure::Of(operation_errors::kResourceNotFound);
        const std::vector<std::string> users = DiskUsers(*disk);
        if (!users.empty()) return InUseFailure("disk", key, users.front());
        if (world.Find(collections::kDisks, movedKey))
            return OperationFailure::Of(operation_errors::kAlreadyExists,
                                        "The resource '" + movedKey + "' already exists");
        mObject moved = *disk;
        moved["id"] = world.NewId();
        moved["zone"] = ComputeUrl(zone);
        moved["selfLink"] = ComputeUrl(movedKey);
        moved["type"] = ComputeUrl(zone + "/diskTypes/" + LastSegment(Text(*disk, "type")));
        moved["status"] = "READY";
        world.Erase(collections::kDisks, key);
        world.Put(collections::kDisks, movedKey, std::move(moved));
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

class ComputeDiskMutationsApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.diskMutations"; }

    void Register(Router& router, EmulatorContext& context) override {
        for (const bool regional : {false, true}) {
            const std::string disks = regional ? "regions/{region}/disks" : "zones/{zone}/disks";
            AddMutationRoute(router, context, "POST", disks,
                             [regional](Mutation& m) { return InsertDisk(m, regional); });
            AddMutationRoute(router, context, "DELETE", disks + "/{disk}",
                             [regional](Mutation& m) { return DeleteDisk(m, regional); });
            AddMutationRoute(router, context, "POST", disks + "/{disk}/createSnapshot",
                             [regional](Mutation& m) { return CreateSnapshot(m, regional); });
            AddMutationRoute(router, context, "POST", disks + "/{disk}/setLabels", [regional](Mutation& m) {
                return SetLabelsOf(m, collections::kDisks,
                                   DiskLocation(m, regional) + "/disks/" + m.Param("disk"));
            });
        }
        AddMutationRoute(router, context, "DELETE", "global/snapshots/{snapshot}", DeleteSnapshot);
        AddMutationRoute(router, context, "POST", "global/snapshots/{snapshot}/setLabels", [](Mutation& m) {
            return SetLabelsOf(m, collections::kSnapshots,
                               "projects/" + m.projectId + "/global/snapshots/" + m.Param("snapshot"));
        });
        AddMutationRoute(router, context, "POST", "moveDisk", MoveDisk);
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeDiskMutationsApi() {
    return std::make_unique<ComputeDiskMutationsApi>();
}

}  // namespace gcemu
