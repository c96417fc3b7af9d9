// Compute Engine instance changes: insert, delete, stop, start, attachDisk and detachDisk. Each answers
// with an operation. A new instance shows as PROVISIONING, then STAGING, and is RUNNING with its disks
// attached when the operation is DONE; stop goes through STOPPING to TERMINATED, start through STAGING
// to RUNNING. What Google refuses at once is refused at once; what fails later (an address in use, too
// many disks, a disk attached elsewhere) ends the operation with Google's error and changes nothing.
// https://cloud.google.com/compute/docs/reference/rest/v1/instances
#include <algorithm>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeImages.h"
#include "emulator/ComputeInterfaces.h"
#include "emulator/ComputeMutations.h"
#include "emulator/ComputeNewDisks.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

constexpr char kNodeGroupKey[] = "compute.googleapis.com/node-group-name";
constexpr uint32_t kFirstExternalAddress = (35u << 24) | (192u << 16);  // 35.192.0.0

// Compute Engine takes an instance's numeric id wherever it takes its name.
std::string InstanceKey(const Mutation& m) {
    const std::string zonePrefix = "projects/" + m.projectId + "/zones/" + m.Param("zone") + "/instances/";
    const std::string instance = m.Param("instance");
    if (!instance.empty() && instance.find_first_not_of("0123456789") == std::string::npos) {
        for (const auto& [key, resource] : m.world.List(collections::kInstances, zonePrefix))
            if (ZkJson::GetStringValue(*resource, "id") == instance) return key;
    }
    return zonePrefix + instance;
}

bool Flag(const mObject& object, const char* name, bool fallback) {
    const auto found = object.find(name);
    return found != object.end() && found->second.type() == json_spirit::bool_type ? found->second.get_bool()
                                                                                   : fallback;
}

bool IsStopped(const std::string& status) {
    return status == "TERMINATED" || status == "STOPPED";
}

// Every change of an instance shows in its fingerprint.
void Touch(World::Txn& world, mObject& instance) {
    instance["fingerprint"] = Fingerprint(mValue(world.NewId()));
}

// Whether an instance in the zone may attach the disk: a disk of the zone, or a regional disk replicated
// to it.
bool ServesZone(const mObject& disk, const std::string& diskKey, const std::string& zoneKey) {
    if (ScopeOf(diskKey).compare(0, 6, "zones/") == 0) return LocationOf(diskKey) == zoneKey;
    const mArray* zones = ZkJson::FindArray(disk, "replicaZones");
    if (!zones) return false;
    for (const mValue& zone : *zones) {
        if (zone.type() == json_spirit::str_type && RelativeName(zone.get_str()) == zoneKey) return true;
    }
    return false;
}

bool ReadMode(const mObject& given, const std::string& field, Attachment& attachment, Response& refusal) {
    attachment.mode = Text(given, "mode").empty() ? "READ_WRITE" : Text(given, "mode");
    attachment.interface = Text(given, "interface").empty() ? "SCSI" : Text(given, "interface");
    if (attachment.mode != "READ_WRITE" && attachment.mode != "READ_ONLY") {
        refusal = InvalidFieldResponse(field + ".mode", attachment.mode, "Must be READ_WRITE or READ_ONLY.");
        return false;
    }
    if (attachment.interface != "SCSI" && attachment.interface != "NVME") {
        refusal = InvalidFieldResponse(field + ".interface", attachment.interface, "Must be SCSI or NVME.");
        return false;
    }
    attachment.autoDelete = Flag(given, "autoDelete", false);
    return true;
}

// ---- Network interfaces

// The internal addresses instances hold in a range (a subnetwork, or a legacy network).
std::set<uint32_t> AddressesInUse(World::Txn& world, const std::string& rangeKey) {
    std::set<uint32_t> used;
    for (const auto& entry : world.List(collections::kInstances)) {
        const mArray* nics = ZkJson::FindArray(*entry.second, "networkInterfaces");
        for (size_t i = 0; nics && i < nics->size(); ++i) {
            const mObject& nic = (*nics)[i].get_obj();
            const std::string range =
                Text(nic, "subnetwork").empty() ? Text(nic, "network") : Text(nic, "subnetwork");
            uint32_t address = 0;
            if (RelativeName(range) == rangeKey && ParseIPv4(Text(nic, "networkIP"), address))
                used.insert(address);
        }
    }
    return used;
}

std::set<std::string> ExternalAddressesInUse(World::Txn& world) {
    std::set<std::string> used;
    for (const auto& entry : world.List(collections::kInstances)) {
        const mArray* nics = ZkJson::FindArray(*entry.second, "networkInterfaces");
        for (size_t i = 0; nics && i < nics->size(); ++i) {
            const mArray* configs = ZkJson::FindArray((*nics)[i].get_obj(), "accessConfigs");
            for (size_t j = 0; configs && j < configs->size(); ++j)
                used.insert(Text((*configs)[j].get_obj(), "natIP"));
        }
    }
    return used;
}

struct Placement {
    std::string network;     // relative names
    std::string subnetwork;  // empty in a legacy network
    std::string cidr;
};

bool Place(Mutation& m, const mObject& nic, const std::string& field, const std::string& region,
           Placement& place, Response& refusal) {
    const std::string subnetRef = Text(nic, "subnetwork");
    const std::string networkRef = Text(nic, "network");
    std::string owner = m.projectId;
    if (!subnetRef.empty()) {
        place.subnetwork = QualifiedName(m.projectId, subnetRef, "regions/" + region + "/subnetworks/");
        const mObject* subnet = m.world.Find(collections::kSubnetworks, place.subnetwork);
        if (!subnet) {
            refusal = ComputeNotFoundResponse(place.subnetwork);
            return false;
        }
        if (Segments(place.subnetwork)[3] != region) {
            refusal = InvalidFieldResponse(field + ".subnetwork", subnetRef,
                                           "The subnetwork must be in the instance's region " + region + ".");
            return false;
        }
        place.network = RelativeName(Text(*subnet, "network"));
        place.cidr = Text(*subnet, "ipCidrRange");
        if (!networkRef.empty() &&
            QualifiedName(m.projectId, networkRef, "global/networks/") != place.network) {
            refusal = InvalidFieldResponse(field + ".network", networkRef,
                                           "The subnetwork is not of this network.");
            return false;
        }
    } else {
        place.network =
            QualifiedName(m.projectId, networkRef.empty() ? "default" : networkRef, "global/networks/");
        const mObject* network = m.world.Find(collections::kNetworks, place.network);
        if (!network) {
            refusal = ComputeNotFoundResponse(place.network);
            return false;
        }
        owner = Segments(place.network)[1];
        if (network->count("IPv4Range")) {
            place.cidr = Text(*network, "IPv4Range");
        } else if (Flag(*network, "autoCreateSubnetworks", false)) {
            place.subnetwork =
                "projects/" + owner + "/regions/" + region + "/subnetworks/" + LastSegment(place.network);
            const mObject* subnet = m.world.Find(collections::kSubnetworks, place.subnetwork);
            if (!subnet) {
                refusal = ComputeNotFoundResponse(place.subnetwork);
                return false;
            }
            place.cidr = Text(*subnet, "ipCidrRange");
        } else {
            refusal = InvalidFieldResponse(field + ".subnetwork", "",
                                           "Subnetwork should be specified for custom subnetmode network");
            return false;
        }
    }
    const bool usable = place.subnetwork.empty() ? owner == m.projectId
                                                 : IsSubnetworkUsable(m.world, m.projectId, place.subnetwork);
    if (!usable) {
        const std::string what = place.subnetwork.empty() ? place.network : place.subnetwork;
        refusal = ComputeErrorResponse(403, "forbidden",
                                       "Required 'compute.subnetworks.use' permission for '" + what + "'");
        return false;
    }
    return true;
}

mArray AccessConfigs(const mObject& nic, std::set<std::string>& externalInUse) {
    mArray configs;
    const mArray* given = ZkJson::FindArray(nic, "accessConfigs");
    for (size_t i = 0; given && i < given->size(); ++i) {
        if ((*given)[i].type() != json_spirit::obj_type) continue;
        const mObject& config = (*given)[i].get_obj();
        std::string natIP = Text(config, "natIP");
        for (uint32_t next = kFirstExternalAddress; natIP.empty(); ++next) {
            if (externalInUse.insert(FormatIPv4(next)).second) natIP = FormatIPv4(next);
        }
        configs.push_back(mObject{
            {"kind", "compute#accessConfig"},
            {"type", Text(config, "type").empty() ? "ONE_TO_ONE_NAT" : Text(config, "type")},
            {"name", Text(config, "name").empty() ? "External NAT" : Text(config, "name")},
            {"natIP", natIP},
            {"networkTier", Text(config, "networkTier").empty() ? "PREMIUM" : Text(config, "networkTier")}});
    }
    return configs;
}

// The instance's interfaces with their addresses: the one asked for, else the first free one of the range.
// An address another instance holds is a failure of the operation, naming the address.
bool ReadInterfaces(Mutation& m, const std::string& zone, mArray& interfaces, OperationFailure& failure,
                    std::string& firstAddress, Response& refusal) {
    const mArray* given = ZkJson::FindArray(m.body, "networkInterfaces");
    if (!given || given->empty()) {
        refusal = InvalidFieldResponse("resource.networkInterfaces", "",
                                       "At least one network interface is needed.");
        return false;
    }
    std::map<std::string, std::set<uint32_t>> taken;  // by range, this instance's addresses too
    std::set<std::string> externalInUse = ExternalAddressesInUse(m.world);
    for (size_t i = 0; i < given->size(); ++i) {
        const std::string field = "resource.networkInterfaces[" + std::to_string(i) + "]";
        if ((*given)[i].type() != json_spirit::obj_type) {
            refusal = InvalidFieldResponse(field, "", "Must be an object.");
            return false;
        }
        const mObject& nic = (*given)[i].get_obj();
        Placement place;
        if (!Place(m, nic, field, RegionOfZone(zone), place, refusal)) return false;
        const std::string range = place.subnetwork.empty() ? place.network : place.subnetwork;
        auto used = taken.find(range);
        if (used == taken.end()) used = taken.emplace(range, AddressesInUse(m.world, range)).first;
        uint32_t base = 0;
        int length = 0;
        ParseCidr(place.cidr, base, length);
        // The network and gateway addresses, and the last two, are Google's.
        const uint32_t last = base + (uint32_t(1) << (32 - length)) - 3;
        uint32_t address = 0;
        const std::string asked = Text(nic, "networkIP");
        if (!asked.empty()) {
            if (!ParseIPv4(asked, address) || address < base + 2 || address > last) {
                refusal = InvalidFieldResponse(
                    field + ".networkIP", asked,
                    "Requested internal IP is outside the subnetwork CIDR range " + place.cidr + ".");
                return false;
            }
            if (!used->second.insert(address).second && !failure.failed())
                failure = OperationFailure::Of(
                    operation_errors::kIpInUse,
                    "IP address '" + asked + "' is already being used by another resource.");
        } else {
            for (uint32_t candidate = base + 2; candidate <= last && !address; ++candidate) {
                if (used->second.insert(candidate).second) address = candidate;
            }
            if (!address && !failure.failed())
                failure =
                    OperationFailure::Of("IP_SPACE_EXHAUSTED", "IP space of '" + range + "' is exhausted.");
        }
        if (i == 0) firstAddress = FormatIPv4(address);
        mObject item;
        item["kind"] = "compute#networkInterface";
        item["network"] = ComputeUrl(place.network);
        if (!place.subnetwork.empty()) item["subnetwork"] = ComputeUrl(place.subnetwork);
        item["networkIP"] = FormatIPv4(address);
        item["name"] = "nic" + std::to_string(i);
        const mArray configs = AccessConfigs(nic, externalInUse);
        if (!configs.empty()) item["accessConfigs"] = configs;
        if (const mArray* aliases = ZkJson::FindArray(nic, "aliasIpRanges")) item["aliasIpRanges"] = *aliases;
        item["fingerprint"] = Fingerprint(mValue(place.network + FormatIPv4(address)));
        item["stackType"] = "IPV4_ONLY";
        interfaces.push_back(std::move(item));
    }
    return true;
}

// ---- Machine type

// "custom-4-8192", "n2-custom-2-4096", "n2-custom-2-20480-ext": custom machine types are not listed.
bool IsCustomMachineType(const std::string& name) {
    static const std::regex kCustom("([a-z0-9]+-)?custom-[0-9]+-[0-9]+(-ext)?");
    return std::regex_match(name, kCustom);
}

bool ReadMachineType(Mutation& m, const std::string& zoneKey, std::string& typeKey, int64_t& maxDisks,
                     Response& refusal) {
    const std::string given = Text(m.body, "machineType");
    const char* field = "resource.machineType";
    typeKey = QualifiedName(m.projectId, given, "");
    const std::vector<std::string> parts = Segments(typeKey);
    if (RelativeName(given).find('/') == std::string::npos || parts.size() != 6 || parts[2] != "zones" ||
        parts[4] != "machineTypes") {
        refusal = InvalidFieldResponse(field, given, "The URL is malformed.");
        return false;
    }
    if (LocationOf(typeKey) != zoneKey) {
        refusal = InvalidFieldResponse(
            field, given,
            "Machine type specified '" + parts[5] + "' is in a different scope than the instance.");
        return false;
    }
    maxDisks = 128;
    if (IsCustomMachineType(parts[5])) return true;
    const mObject* type = m.world.Find(collections::kMachineTypes, typeKey);
    if (!type) {
        refusal = InvalidFieldResponse(field, given,
                                       "Machine type with name '" + parts[5] + "' does not exist in zone '" +
                                           LastSegment(zoneKey) + "'.");
        return false;
    }
    const auto found = type->find("maximumPersistentDisks");
    if (found != type->end() && found->second.type() == json_spirit::int_type)
        maxDisks = found->second.get_int64();
    return true;
}

// ---- Disks of a new instance

struct PlannedDisk {
    std::string key;
    bool made = false;  // from initializeParams: made with the instance
    mObject resource;   // the disk to make
    DiskSource source;
};

// initializeParams in the form of a disks.insert body.
mObject DiskSpec(const mObject& attached, const mObject& params) {
    mObject wanted;
    const std::pair<const char*, const char*> renamed[] = {
        {"diskType", "type"},           {"diskSizeGb", "sizeGb"},
        {"sourceImage", "sourceImage"}, {"sourceSnapshot", "sourceSnapshot"},
        {"labels", "labels"},           {"description", "description"},
        {"licenses", "licenses"},       {"guestOsFeatures", "guestOsFeatures"}};
    for (const auto& [from, to] : renamed) {
        if (params.count(from)) wanted[to] = params.at(from);
    }
    if (attached.count("diskEncryptionKey")) wanted["diskEncryptionKey"] = attached.at("diskEncryptionKey");
    return wanted;
}

mObject ScratchDisk(const mObject& given, const Attachment& attachment) {
    return mObject{
        {"kind", "compute#attachedDisk"},
        {"type", "SCRATCH"},
        {"mode", "READ_WRITE"},
        {"deviceName", Text(given, "deviceName").empty() ? "local-ssd-" + std::to_string(attachment.index)
                                                         : Text(given, "deviceName")},
        {"index", attachment.index},
        {"boot", false},
        {"autoDelete", true},
        {"interface", attachment.interface},
        {"diskSizeGb", "375"}};
}

bool ReadDisks(Mutation& m, const std::string& zoneKey, const std::string& instanceName, mArray& attached,
               std::vector<PlannedDisk>& planned, OperationFailure& failure, Response& refusal) {
    const mArray* given = ZkJson::FindArray(m.body, "disks");
    if (!given || given->empty()) {
        refusal = InvalidFieldResponse("resource.disks", "", "At least one disk is needed.");
        return false;
    }
    bool anyBoot = false;
    for (const mValue& disk : *given)
        anyBoot = anyBoot || (disk.type() == json_spirit::obj_type && Flag(disk.get_obj(), "boot", false));
    std::set<std::string> deviceNames;
    for (size_t i = 0; i < given->size(); ++i) {
        const std::string field = "resource.disks[" + std::to_string(i) + "]";
        if ((*given)[i].type() != json_spirit::obj_type) {
            refusal = InvalidFieldResponse(field, "", "Must be an object.");
            return false;
        }
        const mObject& disk = (*given)[i].get_obj();
        Attachment attachment;
        attachment.index = static_cast<int64_t>(i);
        attachment.boot = anyBoot ? Flag(disk, "boot", false) : i == 0;  // the first disk boots by default
        if (attachment.boot && i != 0) {
            refusal = InvalidFieldResponse(field + ".boot", "true", "The boot disk must be the first disk.");
            return false;
        }
        if (!ReadMode(disk, field, attachment, refusal)) return false;
        if (Text(disk, "type") == "SCRATCH") {
            attached.push_back(ScratchDisk(disk, attachment));
            continue;
        }
        attachment.deviceName = Text(disk, "deviceName").empty() ? "persistent-disk-" + std::to_string(i)
                                                                 : Text(disk, "deviceName");
        if (!deviceNames.insert(attachment.deviceName).second) {
            refusal = InvalidFieldResponse(field + ".deviceName", attachment.deviceName,
                                           "Device names must be unique.");
            return false;
        }
        PlannedDisk plan;
        const std::string source = Text(disk, "source");
        const mObject* params = ZkJson::FindObject(disk, "initializeParams");
        if (!source.empty()) {
            plan.key = QualifiedName(m.projectId, source, ScopeOf(zoneKey + "/x") + "/disks/");
            const mObject* existing =
                IsDiskName(plan.key) ? m.world.Find(collections::kDisks, plan.key) : nullptr;
            if (!IsDiskName(plan.key)) {
                refusal = InvalidFieldResponse(field + ".source", source, "The URL is malformed.");
                return false;
            }
            if (!existing) {
                refusal = ComputeNotFoundResponse(plan.key);
                return false;
            }
            if (!ServesZone(*existing, plan.key, zoneKey)) {
                refusal =
                    InvalidFieldResponse(field + ".source", source,
                                         "The disk is neither in the instance's zone nor replicated to it.");
                return false;
            }
            if (Text(*existing, "status") != "READY") {
                refusal = NotReadyResponse(plan.key);
                return false;
            }
            const std::vector<std::string> users = DiskUsers(*existing);
            if (!users.empty() && (attachment.mode == "READ_WRITE" || UsedReadWrite(m.world, plan.key)) &&
                !failure.failed())
                failure = InUseFailure("disk", plan.key, users.front());
            attached.push_back(AttachedDisk(plan.key, *existing, attachment));
        } else if (params) {
            std::string name = Text(*params, "diskName");
            if (name.empty()) name = attachment.boot ? instanceName : instanceName + "-" + std::to_string(i);
            if (!IsResourceName(name)) {
                refusal = InvalidFieldResponse(field + ".initializeParams.diskName", name,
                                               "Must be a resource name.");
                return false;
            }
            plan.key = zoneKey + "/disks/" + name;
            plan.made = true;
            if (!NewDisk(m.world, m.projectId, plan.key, DiskSpec(disk, *params), plan.resource, plan.source,
                         refusal))
                return false;
            if (m.world.Find(collections::kDisks, plan.key) && !failure.failed())
                failure = OperationFailure::Of(operation_errors::kAlreadyExists,
                                               "The resource '" + plan.key + "' already exists");
            attached.push_back(AttachedDisk(plan.key, plan.resource, attachment));
        } else {
            refusal = InvalidFieldResponse(field, "", "A disk needs a source or initializeParams.");
            return false;
        }
        for (const PlannedDisk& other : planned) {
            if (other.key == plan.key) {
                refusal = InvalidFieldResponse(field + ".source", source, "A disk is attached once only.");
                return false;
            }
        }
        planned.push_back(std::move(plan));
    }
    return true;
}

// ---- The rest of a new instance

// The defaults Google gives, with the request's members laid over; a node group the affinities name
// that is not in the zone fails the operation.
mObject Scheduling(Mutation& m, const std::string& zoneKey, OperationFailure& failure) {
    mObject scheduling{{"onHostMaintenance", "MIGRATE"},
                       {"automaticRestart", true},
                       {"preemptible", false},
                       {"provisioningModel", "STANDARD"}};
    if (const mObject* given = ZkJson::FindObject(m.body, "scheduling")) {
        for (const auto& [key, value] : *given) scheduling[key] = value;
    }
    const mArray* affinities = ZkJson::FindArray(scheduling, "nodeAffinities");
    for (size_t i = 0; affinities && i < affinities->size(); ++i) {
        if ((*affinities)[i].type() != json_spirit::obj_type) continue;
        const mObject& affinity = (*affinities)[i].get_obj();
        const mArray* values = ZkJson::FindArray(affinity, "values");
        if (Text(affinity, "key") != kNodeGroupKey || Text(affinity, "operator") != "IN" || !values) continue;
        for (const mValue& value : *values) {
            const std::string group =
                zoneKey + "/nodeGroups/" + (value.type() == json_spirit::str_type ? value.get_str() : "");
            if (!m.world.Find(collections::kNodeGroups, group) && !failure.failed())
                failure = OperationFailure::Of(operation_errors::kResourceNotFound,
                                               "The resource '" + group + "' was not found");
        }
    }
    return scheduling;
}

mArray ServiceAccounts(Mutation& m) {
    mArray accounts;
    const mArray* given = ZkJson::FindArray(m.body, "serviceAccounts");
    const std::string number = Text(*m.world.FindProject(m.projectId), "projectNumber");
    for (size_t i = 0; given && i < given->size(); ++i) {
        if ((*given)[i].type() != json_spirit::obj_type) continue;
        const mObject& account = (*given)[i].get_obj();
        std::string email = Text(account, "email");
        if (email.empty() || email == "default") email = number + "-compute@developer.gserviceaccount.com";
        const mArray* scopes = ZkJson::FindArray(account, "scopes");
        accounts.push_back(mObject{{"email", email}, {"scopes", scopes ? *scopes : mArray()}});
    }
    return accounts;
}

mObject Metadata(const mObject& body) {
    mArray items;
    if (const mObject* metadata = ZkJson::FindObject(body, "metadata")) {
        if (const mArray* given = ZkJson::FindArray(*metadata, "items")) items = *given;
    }
    mObject metadata{{"kind", "compute#metadata"}, {"fingerprint", Fingerprint(items)}};
    if (!items.empty()) metadata["items"] = items;
    return metadata;
}

mObject Tags(const mObject& body) {
    mArray items;
    if (const mObject* tags = ZkJson::FindObject(body, "tags")) {
        if (const mArray* given = ZkJson::FindArray(*tags, "items")) items = *given;
    }
    mObject tags{{"fingerprint", Fingerprint(items)}};
    if (!items.empty()) tags["items"] = items;
    return tags;
}

// Shielded VM settings need a boot disk that boots with UEFI, which gets Google's defaults anyway.
bool Shielded(const mObject& body, const mObject& bootDisk, mObject& instance, Response& refusal) {
    const mObject* given = ZkJson::FindObject(body, "shieldedInstanceConfig");
    const bool uefi = HasGuestOsFeature(bootDisk, "UEFI_COMPATIBLE");
    if (!uefi) {
        bool asked = false;
        for (const auto& member : given ? *given : mObject())
            asked = asked || (member.second.type() == json_spirit::bool_type && member.second.get_bool());
        if (!asked) return true;
        refusal =
            InvalidFieldResponse("resource.shieldedInstanceConfig", "",
                                 "Shielded VM Config can only be set when using a UEFI-compatible disk.");
        return false;
    }
    mObject shielded{{"enableSecureBoot", false}, {"enableVtpm", true}, {"enableIntegrityMonitoring", true}};
    for (const char* flag : {"enableSecureBoot", "enableVtpm", "enableIntegrityMonitoring"})
        shielded[flag] = Flag(given ? *given : mObject(), flag, shielded[flag].get_bool());
    instance["shieldedInstanceConfig"] = shielded;
    instance["shieldedInstanceIntegrityPolicy"] = mObject{{"updateAutoLearnPolicy", true}};
    return true;
}

// The disks a new instance takes when it is made: a disk gone or taken meanwhile fails it.
OperationFailure TakeDisks(World::Txn& world, const std::string& instanceKey, const mObject& instance,
                           const std::vector<PlannedDisk>& planned) {
    for (const PlannedDisk& plan : planned) {
        const mObject* disk = world.Find(collections::kDisks, plan.key);
        if (plan.made) {
            if (disk)
                return OperationFailure::Of(operation_errors::kAlreadyExists,
                                            "The resource '" + plan.key + "' already exists");
            if (!plan.source.Exists(world))
                return OperationFailure::Of(operation_errors::kResourceNotFound,
                                            "The resource '" + plan.source.key + "' was not found");
            continue;
        }
        if (!disk)
            return OperationFailure::Of(operation_errors::kResourceNotFound,
                                        "The resource '" + plan.key + "' was not found");
        const std::vector<std::string> users = DiskUsers(*disk);
        std::string mode;
        for (const mValue& attached : instance.at("disks").get_array())
            if (RelativeName(Text(attached.get_obj(), "source")) == plan.key)
                mode = Text(attached.get_obj(), "mode");
        if (!users.empty() && (mode == "READ_WRITE" || UsedReadWrite(world, plan.key)))
            return InUseFailure("disk", plan.key, users.front());
    }
    for (const PlannedDisk& plan : planned) {
        if (plan.made) {
            mObject disk = plan.resource;
            disk["status"] = "READY";
            AddDiskUser(world, disk, instanceKey);
            world.Put(collections::kDisks, plan.key, std::move(disk));
        } else {
            AddDiskUser(world, *world.Find(collections::kDisks, plan.key), instanceKey);
        }
    }
    return OperationFailure();
}

Response InsertInstance(Mutation& m) {
    std::string name;
    Response refusal;
    if (!CheckName(m.body, name, refusal)) return refusal;
    const std::string zone = m.Param("zone");
    const std::string zoneKey = "projects/" + m.projectId + "/zones/" + zone;
    const std::string key = zoneKey + "/instances/" + name;
    if (m.world.Find(collections::kInstances, key)) return AlreadyExistsResponse(key);
    std::string machineType;
    int64_t maxDisks = 0;
    if (!ReadMachineType(m, zoneKey, machineType, maxDisks, refusal)) return refusal;

    OperationFailure failure;
    mArray disks;
    std::vector<PlannedDisk> planned;
    mArray interfaces;
    std::string firstAddress;
    mObject labels;
    if (!ReadDisks(m, zoneKey, name, disks, planned, failure, refusal) ||
        !ReadInterfaces(m, zone, interfaces, failure, firstAddress, refusal) ||
        !ReadLabels(m.body, labels, refusal))
        return refusal;
    if (static_cast<int64_t>(planned.size()) > maxDisks && !failure.failed())
        failure = OperationFailure::Of(operation_errors::kLimitExceeded,
                                       "Exceeded limit 'maximum_persistent_disks' on resource '" + name +
                                           "'. Limit: " + std::to_string(maxDisks) + ".0");

    mObject instance;
    instance["kind"] = "compute#instance";
    instance["id"] = m.world.NewId();
    instance["creationTimestamp"] = ComputeNow(m.world);
    instance["name"] = name;
    instance["description"] = Text(m.body, "description");
    instance["tags"] = Tags(m.body);
    instance["machineType"] = ComputeUrl(machineType);
    instance["status"] = "PROVISIONING";
    instance["zone"] = ComputeUrl(zoneKey);
    instance["canIpForward"] = Flag(m.body, "canIpForward", false);
    instance["networkInterfaces"] = interfaces;
    instance["disks"] = disks;
    instance["metadata"] = Metadata(m.body);
    const mArray accounts = ServiceAccounts(m);
    if (!accounts.empty()) instance["serviceAccounts"] = accounts;
    instance["selfLink"] = ComputeUrl(key);
    instance["scheduling"] = Scheduling(m, zoneKey, failure);
    instance["cpuPlatform"] = CpuPlatform(LastSegment(machineType), "PROVISIONING");
    SetNewLabels(m.world, instance, labels);
    instance["startRestricted"] = false;
    instance["deletionProtection"] = Flag(m.body, "deletionProtection", false);
    instance["reservationAffinity"] = mObject{{"consumeReservationType", "ANY_RESERVATION"}};
    instance["displayDevice"] = mObject{{"enableDisplay", false}};
    instance["confidentialInstanceConfig"] = mObject{{"enableConfidentialCompute", false}};
    for (const char* kept :
         {"reservationAffinity", "displayDevice", "confidentialInstanceConfig", "hostname", "minCpuPlatform",
          "guestAccelerators", "advancedMachineFeatures", "resourcePolicies"}) {
        if (m.body.count(kept)) instance[kept] = m.body.at(kept);
    }
    if (!Shielded(m.body, disks.front().get_obj(), instance, refusal)) return refusal;
    instance["fingerprint"] = Fingerprint(mValue(key + Text(instance, "id")));
    instance["keyRevocationActionType"] = "NONE";

    OperationStart start = m.NewOperation(ScopeOf(key), "insert", key, Text(instance, "id"));
    start.details["networkIP"] = firstAddress;
    start.failure = std::move(failure);
    start.begin = [key, instance](World::Txn& world) { world.Put(collections::kInstances, key, instance); };
    start.running = [key](World::Txn& world) {
        if (mObject* made = world.Find(collections::kInstances, key)) (*made)["status"] = "STAGING";
    };
    start.finish = [key, planned](World::Txn& world) {
        mObject* made = world.Find(collections::kInstances, key);
        if (!made) return OperationFailure::Of(operation_errors::kResourceNotFound);
        const OperationFailure failure = TakeDisks(world, key, *made, planned);
        if (failure.failed()) {
            world.Erase(collections::kInstances, key);
            return failure;
        }
        (*made)["status"] = "RUNNING";
        (*made)["cpuPlatform"] = CpuPlatform(LastSegment(Text(*made, "machineType")), "RUNNING");
        (*made)["lastStartTimestamp"] = ComputeNow(world);
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

// Disks with autoDelete go with the instance, unless another instance still uses them.
Response DeleteInstance(Mutation& m) {
    const std::string key = InstanceKey(m);
    const mObject* instance = m.world.Find(collections::kInstances, key);
    if (!instance) return ComputeNotFoundResponse(key);
    if (Flag(*instance, "deletionProtection", false))
        return ComputeErrorResponse(
            400, "invalidResourceUsage",
            "Invalid resource usage: 'Resource cannot be deleted if it's protected against "
            "deletion.'.");
    OperationStart start = m.NewOperation(ScopeOf(key), "delete", key, Text(*instance, "id"));
    start.begin = [key](World::Txn& world) {
        (*world.Find(collections::kInstances, key))["status"] = "STOPPING";
    };
    start.finish = [key](World::Txn& world) {
        const mObject* instance = world.Find(collections::kInstances, key);
        if (!instance) return OperationFailure();
        for (const mValue& attached : instance->at("disks").get_array()) {
            const mObject& entry = attached.get_obj();
            const std::string diskKey = RelativeName(Text(entry, "source"));
            mObject* disk = diskKey.empty() ? nullptr : world.Find(collections::kDisks, diskKey);
            if (!disk) continue;
            RemoveDiskUser(world, *disk, key);
            if (Flag(entry, "autoDelete", false) && DiskUsers(*disk).empty())
                world.Erase(collections::kDisks, diskKey);
        }
        world.Erase(collections::kInstances, key);
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

// Stopping a stopped instance, or starting a running one, is an operation that changes nothing.
Response StopInstance(Mutation& m) {
    const std::string key = InstanceKey(m);
    const mObject* instance = m.world.Find(collections::kInstances, key);
    if (!instance) return ComputeNotFoundResponse(key);
    const std::string status = Text(*instance, "status");
    OperationStart start = m.NewOperation(ScopeOf(key), "stop", key, Text(*instance, "id"));
    if (!IsStopped(status) && status != "STOPPING") {
        start.begin = [key](World::Txn& world) {
            (*world.Find(collections::kInstances, key))["status"] = "STOPPING";
        };
        start.finish = [key](World::Txn& world) {
            mObject* instance = world.Find(collections::kInstances, key);
            if (!instance) return OperationFailure::Of(operation_errors::kResourceNotFound);
            (*instance)["status"] = "TERMINATED";
            (*instance)["cpuPlatform"] = CpuPlatform("", "TERMINATED");
            (*instance)["lastStopTimestamp"] = ComputeNow(world);
            Touch(world, *instance);
            return OperationFailure();
        };
    }
    return m.Answer(std::move(start));
}

Response StartInstance(Mutation& m) {
    const std::string key = InstanceKey(m);
    const mObject* instance = m.world.Find(collections::kInstances, key);
    if (!instance) return ComputeNotFoundResponse(key);
    const std::string status = Text(*instance, "status");
    if (status == "SUSPENDED" || status == "SUSPENDING")
        return ComputeErrorResponse(400, "invalidResourceUsage",
                                    "Invalid resource usage: 'Instance is suspended; resume it instead.'.");
    if (status == "STOPPING") return NotReadyResponse(key);
    OperationStart start = m.NewOperation(ScopeOf(key), "start", key, Text(*instance, "id"));
    if (IsStopped(status)) {
        start.begin = [key](World::Txn& world) {
            (*world.Find(collections::kInstances, key))["status"] = "STAGING";
        };
        start.finish = [key](World::Txn& world) {
            mObject* instance = world.Find(collections::kInstances, key);
            if (!instance) return OperationFailure::Of(operation_errors::kResourceNotFound);
            (*instance)["status"] = "RUNNING";
            (*instance)["cpuPlatform"] = CpuPlatform(LastSegment(Text(*instance, "machineType")), "RUNNING");
            (*instance)["lastStartTimestamp"] = ComputeNow(world);
            Touch(world, *instance);
            return OperationFailure();
        };
    }
    return m.Answer(std::move(start));
}

// Why the disk cannot be attached to the instance now: attached there already, written on elsewhere, or
// the machine type's limit reached.
OperationFailure AttachProblem(World::Txn& world, const std::string& instanceKey, const mObject& instance,
                               const std::string& diskKey, const std::string& mode) {
    const mObject* disk = world.Find(collections::kDisks, diskKey);
    if (!disk)
        return OperationFailure::Of(operation_errors::kResourceNotFound,
                                    "The resource '" + diskKey + "' was not found");
    const std::vector<std::string> users = DiskUsers(*disk);
    for (const std::string& user : users) {
        if (user == instanceKey) return InUseFailure("disk", diskKey, instanceKey);
    }
    if (!users.empty() && (mode == "READ_WRITE" || UsedReadWrite(world, diskKey)))
        return InUseFailure("disk", diskKey, users.front());
    const int64_t limit = MaximumPersistentDisks(world, instance);
    if (PersistentDiskCount(instance) >= limit)
        return OperationFailure::Of(operation_errors::kLimitExceeded,
                                    "Exceeded limit 'maximum_persistent_disks' on resource '" +
                                        LastSegment(instanceKey) + "'. Limit: " + std::to_string(limit) +
                                        ".0");
    return OperationFailure();
}

std::set<std::string> DeviceNames(const mObject& instance) {
    std::set<std::string> names;
    for (const mValue& attached : instance.at("disks").get_array())
        names.insert(Text(attached.get_obj(), "deviceName"));
    return names;
}

Response AttachDiskTo(Mutation& m) {
    const std::string key = InstanceKey(m);
    const mObject* instance = m.world.Find(collections::kInstances, key);
    if (!instance) return ComputeNotFoundResponse(key);
    const std::string source = Text(m.body, "source");
    const std::string zoneKey = LocationOf(key);
    const std::string diskKey = QualifiedName(m.projectId, source, ScopeOf(key) + "/disks/");
    if (source.empty() || !IsDiskName(diskKey))
        return InvalidFieldResponse("resource.source", source, "The URL is malformed.");
    const mObject* disk = m.world.Find(collections::kDisks, diskKey);
    if (!disk) return ComputeNotFoundResponse(diskKey);
    if (!ServesZone(*disk, diskKey, zoneKey))
        return InvalidFieldResponse("resource.source", source,
                                    "The disk is neither in the instance's zone nor replicated to it.");
    if (Text(*disk, "status") != "READY") return NotReadyResponse(diskKey);
    Attachment attachment;
    Response refusal;
    if (!ReadMode(m.body, "resource", attachment, refusal)) return refusal;
    attachment.boot = Flag(m.body, "boot", false);
    attachment.deviceName = Text(m.body, "deviceName");
    if (!attachment.deviceName.empty() && DeviceNames(*instance).count(attachment.deviceName))
        return InvalidFieldResponse("resource.deviceName", attachment.deviceName,
                                    "A disk with this device name is attached already.");
    if (attachment.boot) {
        bool hasBoot = false;
        for (const mValue& attached : instance->at("disks").get_array())
            hasBoot = hasBoot || Flag(attached.get_obj(), "boot", false);
        if (hasBoot || !IsStopped(Text(*instance, "status")))
            return InvalidFieldResponse(
                "resource.boot", "true",
                "A boot disk can be attached only to a stopped instance without one.");
    }

    OperationStart start = m.NewOperation(ScopeOf(key), "attachDisk", key, Text(*instance, "id"));
    start.watched.push_back(diskKey);
    start.failure = AttachProblem(m.world, key, *instance, diskKey, attachment.mode);
    start.finish = [key, diskKey, attachment](World::Txn& world) {
        mObject* instance = world.Find(collections::kInstances, key);
        if (!instance) return OperationFailure::Of(operation_errors::kResourceNotFound);
        const OperationFailure failure = AttachProblem(world, key, *instance, diskKey, attachment.mode);
        if (failure.failed()) return failure;
        mArray& disks = (*instance)["disks"].get_array();
        Attachment placed = attachment;
        placed.index = 0;
        for (const mValue& attached : disks)
            placed.index = std::max(placed.index, attached.get_obj().at("index").get_int64() + 1);
        if (placed.boot) placed.index = 0;
        const std::set<std::string> names = DeviceNames(*instance);
        for (int64_t n = placed.index; placed.deviceName.empty() || names.count(placed.deviceName); ++n)
            placed.deviceName = "persistent-disk-" + std::to_string(n);
        mObject& disk = *world.Find(collections::kDisks, diskKey);
        AddDiskUser(world, disk, key);
        const mObject entry = AttachedDisk(diskKey, disk, placed);
        if (placed.boot) {
            disks.insert(disks.begin(), entry);
        } else {
            disks.push_back(entry);
        }
        Touch(world, *instance);
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

Response DetachDiskFrom(Mutation& m) {
    const std::string key = InstanceKey(m);
    const mObject* instance = m.world.Find(collections::kInstances, key);
    if (!instance) return ComputeNotFoundResponse(key);
    const std::string deviceName = m.request.Query("deviceName");
    if (deviceName.empty())
        return ComputeErrorResponse(400, "required", "Required field 'deviceName' not specified");
    const mObject* entry = nullptr;
    for (const mValue& attached : instance->at("disks").get_array())
        if (Text(attached.get_obj(), "deviceName") == deviceName) entry = &attached.get_obj();
    if (!entry)
        return ComputeErrorResponse(400, "invalid",
                                    "No attached disk found with device name '" + deviceName + "'");
    if (Text(*entry, "type") == "SCRATCH")
        return InvalidFieldResponse("deviceName", deviceName, "A local SSD cannot be detached.");
    if (Flag(*entry, "boot", false) && !IsStopped(Text(*instance, "status")))
        return InvalidFieldResponse("deviceName", deviceName,
                                    "The boot disk can be detached only from a stopped instance.");
    const std::string diskKey = RelativeName(Text(*entry, "source"));

    OperationStart start = m.NewOperation(ScopeOf(key), "detachDisk", key, Text(*instance, "id"));
    start.watched.push_back(diskKey);
    start.finish = [key, diskKey, deviceName](World::Txn& world) {
        mObject* instance = world.Find(collections::kInstances, key);
        if (!instance) return OperationFailure::Of(operation_errors::kResourceNotFound);
        mArray& disks = (*instance)["disks"].get_array();
        const auto found = std::find_if(disks.begin(), disks.end(), [&](const mValue& attached) {
            return Text(attached.get_obj(), "deviceName") == deviceName;
        });
        if (found == disks.end())
            return OperationFailure::Of(operation_errors::kResourceNotFound,
                                        "No attached disk found with device name '" + deviceName + "'");
        disks.erase(found);
        if (mObject* disk = world.Find(collections::kDisks, diskKey)) RemoveDiskUser(world, *disk, key);
        Touch(world, *instance);
        return OperationFailure();
    };
    return m.Answer(std::move(start));
}

class ComputeInstanceMutationsApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.instanceMutations"; }

    void Register(Router& router, EmulatorContext& context) override {
        const std::string instance = "zones/{zone}/instances/{instance}";
        AddMutationRoute(router, context, "POST", "zones/{zone}/instances", InsertInstance);
        AddMutationRoute(router, context, "DELETE", instance, DeleteInstance);
        AddMutationRoute(router, context, "POST", instance + "/stop", StopInstance);
        AddMutationRoute(router, context, "POST", instance + "/start", StartInstance);
        AddMutationRoute(router, context, "POST", instance + "/attachDisk", AttachDiskTo);
        AddMutationRoute(router, context, "POST", instance + "/detachDisk", DetachDiskFrom);
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeInstanceMutationsApi() {
    return std::make_unique<ComputeInstanceMutationsApi>();
}

}  // namespace gcemu
