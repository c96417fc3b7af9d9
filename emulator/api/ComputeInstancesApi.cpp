// Compute Engine instances (VMs): get, list and the aggregated list. An instance names its disks; seeding
// attaches them (the disks' "users" follow) and gives every interface its network and address.
// https://cloud.google.com/compute/docs/reference/rest/v1/instances
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeAggregated.h"
#include "emulator/ComputeInterfaces.h"
#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

constexpr char kNodeGroupKey[] = "compute.googleapis.com/node-group-name";
constexpr char kCloudPlatform[] = "https://www.googleapis.com/auth/cloud-platform";
const char* const kStatuses[] = {"PROVISIONING", "STAGING",   "RUNNING",   "STOPPING",  "STOPPED",
                                 "SUSPENDING",   "SUSPENDED", "REPAIRING", "TERMINATED"};
const char* const kDefaultScopes[] = {"https://www.googleapis.com/auth/devstorage.read_only",
                                      "https://www.googleapis.com/auth/logging.write",
                                      "https://www.googleapis.com/auth/monitoring.write",
                                      "https://www.googleapis.com/auth/servicecontrol",
                                      "https://www.googleapis.com/auth/service.management.readonly",
                                      "https://www.googleapis.com/auth/trace.append"};

struct Context {
    World::Txn& world;
    const SeedEntry& entry;
    std::string projectId;
    std::string zone;
    std::string selfLink;
    std::string created;
};

// The disk an attachment names: in the instance's zone, else a regional disk replicated to it.
std::string FindAttachedDisk(const Context& c, const std::string& name) {
    const std::string project = "projects/" + c.projectId;
    const std::string zonal = project + "/zones/" + c.zone + "/disks/" + name;
    if (c.world.Find(collections::kDisks, zonal)) return zonal;
    const std::string regional = project + "/regions/" + RegionOfZone(c.zone) + "/disks/" + name;
    if (const mObject* disk = c.world.Find(collections::kDisks, regional)) {
        for (const mValue& zone : disk->at("replicaZones").get_array())
            if (LastSegment(zone.get_str()) == c.zone) return regional;
        c.entry.Fail("regional disk " + name + " is not replicated to " + c.zone);
    }
    c.entry.Fail("disk " + name + " is neither in " + c.zone + " nor in " + RegionOfZone(c.zone));
}

// Whether one of the instances a disk is attached to writes on it.
bool AttachedReadWrite(World::Txn& world, const mArray& users, const std::string& source) {
    for (const mValue& user : users) {
        const mObject* instance = world.Find(collections::kInstances, RelativeName(user.get_str()));
        if (!instance) continue;
        for (const mValue& attached : instance->at("disks").get_array()) {
            if (ZkJson::GetStringValue(attached.get_obj(), "source") == source &&
                ZkJson::GetStringValue(attached.get_obj(), "mode") == "READ_WRITE")
                return true;
        }
    }
    return false;
}

mObject AttachDisk(const Context& c, const mValue& value, size_t index, bool boot) {
    // A bare name stands for {"name": ...}.
    const mValue written = value.type() == json_spirit::str_type ? mValue(mObject{{"name", value}}) : value;
    const SeedEntry given(written, c.entry.where() + ": disks[" + std::to_string(index) + "]");
    given.Allow({"name", "deviceName", "mode", "autoDelete", "boot", "interface", "scratch", "sizeGb"});
    mObject attached;
    attached["kind"] = "compute#attachedDisk";
    attached["index"] = static_cast<int64_t>(index);
    attached["boot"] = given.Flag("boot", boot);
    const std::string interface = given.Text("interface", "SCSI");
    if (interface != "SCSI" && interface != "NVME") given.Fail("interface must be SCSI or NVME");
    attached["interface"] = interface;
    const std::string mode = given.Text("mode", "READ_WRITE");
    if (mode != "READ_WRITE" && mode != "READ_ONLY") given.Fail("mode must be READ_WRITE or READ_ONLY");
    attached["mode"] = mode;
    if (given.Flag("scratch", false)) {
        attached["type"] = "SCRATCH";
        attached["deviceName"] = given.Text("deviceName", "local-ssd-" + std::to_string(index));
        attached["autoDelete"] = true;
        attached["diskSizeGb"] = std::to_string(given.Integer("sizeGb", 375));
        return attached;
    }
    const std::string name = given.RequiredText("name");
    const std::string key = FindAttachedDisk(c, name);
    mObject& disk = *c.world.Find(collections::kDisks, key);
    mArray& users = disk.emplace("users", mArray()).first->second.get_array();
    if (std::find(users.begin(), users.end(), mValue(c.selfLink)) != users.end())
        given.Fail("disk " + name + " is attached twice");
    if (!users.empty() && (mode == "READ_WRITE" || AttachedReadWrite(c.world, users, ComputeUrl(key))))
        given.Fail("disk " + name + " is attached read-write to another instance");
    users.push_back(c.selfLink);
    const std::string diskCreated = ZkJson::GetStringValue(disk, "creationTimestamp");
    disk["lastAttachTimestamp"] =
        ParseRfc3339(diskCreated) > ParseRfc3339(c.created) ? diskCreated : c.created;

    attached["type"] = "PERSISTENT";
    attached["source"] = ComputeUrl(key);
    attached["deviceName"] = given.Text("deviceName", name);
    attached["autoDelete"] = given.Flag("autoDelete", attached["boot"].get_bool());
    attached["diskSizeGb"] = disk.at("sizeGb");
    for (const char* trait : {"licenses", "guestOsFeatures", "architecture", "diskEncryptionKey"}) {
        if (disk.count(trait)) attached[trait] = disk.at(trait);
    }
    return attached;
}

mArray AttachDisks(const Context& c) {
    mArray disks;
    // The disk family made the bootDisk, named after the instance unless it names itself.
    if (const mObject* boot = c.entry.Object("bootDisk")) {
        const std::string name = ZkJson::GetStringValue(*boot, "name");
        disks.push_back(AttachDisk(c, name.empty() ? c.entry.Text("name") : name, 0, true));
    }
    if (const mArray* listed = c.entry.Array("disks")) {
        for (const mValue& disk : *listed) disks.push_back(AttachDisk(c, disk, disks.size(), disks.empty()));
    }
    if (disks.empty()) c.entry.Fail("an instance needs a boot disk");
    for (size_t i = 0; i < disks.size(); ++i) {
        if (disks[i].get_obj().at("boot").get_bool() != (i == 0))
            c.entry.Fail("the boot disk must come first, and only it");
    }
    return disks;
}

mObject Metadata(const SeedEntry& entry) {
    mArray items;
    for (const auto& [key, value] : entry.TextMap("metadata"))
        items.push_back(mObject{{"key", key}, {"value", value}});
    mObject metadata{{"kind", "compute#metadata"}, {"fingerprint", Fingerprint(items)}};
    if (!items.empty()) metadata["items"] = std::move(items);
    return metadata;
}

mArray ServiceAccounts(const Context& c) {
    const std::string number = ZkJson::GetStringValue(*c.world.FindProject(c.projectId), "projectNumber");
    const std::string fallback = number + "-compute@developer.gserviceaccount.com";
    mArray accounts;
    const mArray* given = c.entry.Array("serviceAccounts");
    if (!given)
        return mArray{mObject{{"email", fallback},
                              {"scopes", mArray(std::begin(kDefaultScopes), std::end(kDefaultScopes))}}};
    for (const mValue& value : *given) {
        if (value.type() == json_spirit::str_type) {
            const std::string email = value.get_str() == "default" ? fallback : value.get_str();
            accounts.push_back(mObject{{"email", email}, {"scopes", mArray{kCloudPlatform}}});
            continue;
        }
        const SeedEntry account(value, c.entry.where() + ": serviceAccounts");
        account.Allow({"email", "scopes"});
        const std::string email = account.RequiredText("email");
        const mArray* scopes = account.Array("scopes");
        accounts.push_back(mObject{{"email", email == "default" ? fallback : email},
                                   {"scopes", scopes ? *scopes : mArray{kCloudPlatform}}});
    }
    return accounts;
}

mObject Scheduling(const Context& c) {
    mObject scheduling{{"onHostMaintenance", "MIGRATE"},
                       {"automaticRestart", true},
                       {"preemptible", false},
                       {"provisioningModel", "STANDARD"}};
    if (const mObject* given = c.entry.Object("scheduling")) {
        SeedEntry(*given, c.entry.where() + ": scheduling")
            .Allow({"onHostMaintenance", "automaticRestart", "preemptible", "provisioningModel",
                    "nodeAffinities", "instanceTerminationAction"});
        for (const auto& [key, value] : *given) scheduling[key] = value;
    }
    if (c.entry.Has("nodeGroup")) {
        scheduling["nodeAffinities"] = mArray{mObject{
            {"key", kNodeGroupKey}, {"operator", "IN"}, {"values", mArray{c.entry.Text("nodeGroup")}}}};
    }
    const auto affinities = scheduling.find("nodeAffinities");
    if (affinities == scheduling.end()) return scheduling;
    if (affinities->second.type() != json_spirit::array_type) c.entry.Fail("nodeAffinities is not an array");
    for (const mValue& value : affinities->second.get_array()) {
        const SeedEntry affinity(value, c.entry.where() + ": nodeAffinities");
        affinity.Allow({"key", "operator", "values"});
        if (affinity.Text("key") != kNodeGroupKey) continue;
        for (const std::string& group : affinity.Texts("values")) {
            if (!c.world.Find(collections::kNodeGroups,
                              "projects/" + c.projectId + "/zones/" + c.zone + "/nodeGroups/" + group))
                affinity.Fail("node group " + group + " is not in " + c.zone);
        }
    }
    return scheduling;
}

mObject Instance(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                 AddressBook& addresses) {
    entry.Allow({"name", "zone", "machineType", "status", "description", "labels", "metadata", "tags",
                 "bootDisk", "disks", "networkInterfaces", "scheduling", "nodeGroup",
                 "shieldedInstanceConfig", "serviceAccounts", "deletionProtection", "canIpForward",
                 "creationTimestamp"});
    const std::string zone = entry.RequiredText("zone");
    const std::string zoneName = "projects/" + projectId + "/zones/" + zone;
    if (!world.Find(collections::kZones, zoneName)) entry.Fail("zone " + zone + " is not the project's");
    const std::string name = zoneName + "/instances/" + entry.RequiredText("name");
    const std::string machineType = zoneName + "/machineTypes/" + entry.Text("machineType", "e2-standard-2");
    if (!world.Find(collections::kMachineTypes, machineType))
        entry.Fail("machine type " + LastSegment(machineType) + " is not in " + zone);
    const std::string status = entry.Text("status", "RUNNING");
    bool known = false;
    for (const char* candidate : kStatuses) known = known || status == candidate;
    if (!known) entry.Fail("status " + status + " is not an instance status");

    const std::string created = entry.CreationTimestamp(
        world, ZkJson::GetStringValue(*world.FindProject(projectId), "createTime"), name);
    const Context c{world, entry, projectId, zone, ComputeUrl(name), created};
    mObject instance;
    instance["kind"] = "compute#instance";
    instance["id"] = StableId(name);
    instance["creationTimestamp"] = created;
    instance["name"] = entry.Text("name");
    instance["description"] = entry.Text("description");
    mArray tags;
    for (const std::string& tag : entry.Texts("tags")) tags.push_back(tag);
    instance["tags"] = tags.empty() ? mObject{{"fingerprint", Fingerprint(tags)}}
                                    : mObject{{"items", tags}, {"fingerprint", Fingerprint(tags)}};
    instance["machineType"] = ComputeUrl(machineType);
    instance["status"] = status;
    instance["zone"] = ComputeUrl(zoneName);
    instance["canIpForward"] = entry.Flag("canIpForward", false);
    instance["networkInterfaces"] = NetworkInterfaces(world, entry, projectId, addresses);
    instance["disks"] = AttachDisks(c);
    instance["metadata"] = Metadata(entry);
    const mArray accounts = ServiceAccounts(c);
    if (!accounts.empty()) instance["serviceAccounts"] = accounts;
    instance["selfLink"] = c.selfLink;
    instance["scheduling"] = Scheduling(c);
    instance["cpuPlatform"] = CpuPlatform(LastSegment(machineType), status);
    SetLabels(instance, entry.TextMap("labels"));
    instance["startRestricted"] = false;
    instance["deletionProtection"] = entry.Flag("deletionProtection", false);
    instance["reservationAffinity"] = mObject{{"consumeReservationType", "ANY_RESERVATION"}};
    instance["displayDevice"] = mObject{{"enableDisplay", false}};

    const bool uefi = HasGuestOsFeature(instance["disks"].get_array().front().get_obj(), "UEFI_COMPATIBLE");
    if (entry.Has("shieldedInstanceConfig") && !uefi)
        entry.Fail("a shielded instance needs a UEFI_COMPATIBLE boot disk");
    if (uefi) {
        mObject shielded{
            {"enableSecureBoot", false}, {"enableVtpm", true}, {"enableIntegrityMonitoring", true}};
        if (const mObject* given = entry.Object("shieldedInstanceConfig")) {
            const SeedEntry config(*given, entry.where() + ": shieldedInstanceConfig");
            config.Allow({"enableSecureBoot", "enableVtpm", "enableIntegrityMonitoring"});
            for (const char* flag : {"enableSecureBoot", "enableVtpm", "enableIntegrityMonitoring"})
                shielded[flag] = config.Flag(flag, shielded[flag].get_bool());
        }
        instance["shieldedInstanceConfig"] = shielded;
        instance["shieldedInstanceIntegrityPolicy"] = mObject{{"updateAutoLearnPolicy", true}};
    }
    instance["confidentialInstanceConfig"] = mObject{{"enableConfidentialCompute", false}};
    instance["fingerprint"] = Fingerprint(mValue(name + status));
    if (status != "PROVISIONING" && status != "STAGING") instance["lastStartTimestamp"] = created;
    if (status == "STOPPED" || status == "TERMINATED" || status == "SUSPENDED")
        instance["lastStopTimestamp"] = world.ComputeTime(ParseRfc3339(created) + 86400);
    instance["keyRevocationActionType"] = "NONE";
    return instance;
}

class ComputeInstancesApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.instances"; }

    void Register(Router& router, EmulatorContext& context) override {
        AddListRoute(router, context, "zones/{zone}/instances", collections::kInstances,
                     "compute#instanceList");
        AddGetRoute(router, context, "zones/{zone}/instances/{name}", collections::kInstances);
        router.Add(hosts::kCompute, "GET", "/compute/v1/projects/{project}/aggregated/instances",
                   [&context](const Request& request, Response& response) {
                       World::Txn world = context.world.Lock();
                       response =
                           AggregatedInstancesResponse(context, request, world, request.Param("project"));
                   });
    }

    void Seed(World::Txn& world) override {
        AddressBook addresses;
        const auto projects = SeedProjects(world);
        for (const auto& [projectId, seed] : projects) {
            for (const SeedEntry& entry : SeedSection(*seed, "instances", "project " + projectId))
                ReserveGivenAddresses(world, entry, projectId, addresses);
        }
        for (const auto& [projectId, seed] : projects) {
            for (const SeedEntry& entry : SeedSection(*seed, "instances", "project " + projectId))
                PutNew(world, collections::kInstances, Instance(world, entry, projectId, addresses), entry);
        }
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeInstancesApi() {
    return std::make_unique<ComputeInstancesApi>();
}

}  // namespace gcemu
