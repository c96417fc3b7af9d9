// restore: a VM from its saved configuration onto disks made from its snapshots, now or later (its
// request body kept in a bucket); deploy: create the VM a restore kept in a bucket.
#include <algorithm>
#include <map>
#include <ostream>

#include "Session.h"
#include "cli/Output.h"
#include "cli/ResourceNames.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "host/ZkJson.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SDiskInfoLib;
using GoogleCloudSDKWrapper::SNetworkInterfaceInfoLib;
using GoogleCloudSDKWrapper::SVMInfoLib;

struct SavedDisk {
    std::string name;
    bool boot = false;
};

// What the saved instance resource says about itself.
struct SavedInstance {
    std::string machineType;
    std::vector<SavedDisk> disks;
    std::vector<std::string> interfaces;
};

bool ReadSavedInstance(const std::string& json, SavedInstance& saved) {
    json_spirit::mObject instance;
    if (!ZkJson::Unserialize(json, instance) || !ZkJson::FindArray(instance, "disks")) return false;
    saved.machineType = LastSegment(ZkJson::GetStringValue(instance, "machineType"));
    for (const json_spirit::mValue& entry : *ZkJson::FindArray(instance, "disks")) {
        if (entry.type() != json_spirit::obj_type) continue;
        SavedDisk disk;
        disk.name = LastSegment(ZkJson::GetStringValue(entry.get_obj(), "source"));
        const auto boot = entry.get_obj().find("boot");
        disk.boot = boot != entry.get_obj().end() && boot->second.type() == json_spirit::bool_type &&
                    boot->second.get_bool();
        if (!disk.name.empty()) saved.disks.push_back(disk);
    }
    if (const json_spirit::mArray* interfaces = ZkJson::FindArray(instance, "networkInterfaces"))
        for (const json_spirit::mValue& entry : *interfaces)
            if (entry.type() == json_spirit::obj_type)
                saved.interfaces.push_back(ZkJson::GetStringValue(entry.get_obj(), "name"));
    return true;
}

std::vector<std::string> SavedDiskNames(const SavedInstance& saved) {
    std::vector<std::string> names;
    for (const SavedDisk& disk : saved.disks) names.push_back(disk.name);
    return names;
}

// The VM record and the saved-to-new disk names a restore hands the library; a usage error's text when
// the command line does not fit the saved configuration.
bool PlanRestore(const ParsedArguments& args, const SavedInstance& saved,
                 const std::map<std::string, std::string>& savedDiskJson, SVMInfoLib& vm,
                 std::map<std::string, std::string>& overrides, std::string& error) {
    vm.name = args.Value("name");
    vm.zone = args.Value("zone");
    vm.machineType = args.Value("machine-type", saved.machineType);
    if (vm.machineType.empty()) {
        error = "the saved configuration names no machine type: give --machine-type";
        return false;
    }
    for (const std::string& diskArgument : args.Values("disk")) {
        const size_t equals = diskArgument.find('=');
        SDiskInfoLib disk;
        disk.name = diskArgument.substr(0, equals);
        std::string savedName = equals == std::string::npos ? "" : diskArgument.substr(equals + 1);
        if (!IsResourceName(disk.name)) {
            error = "--disk " + diskArgument + ": '" + disk.name + "' is not a Compute Engine name";
            return false;
        }
        const auto isSaved = [&](const std::string& name) {
            return std::any_of(saved.disks.begin(), saved.disks.end(),
                               [&](const SavedDisk& s) { return s.name == name; });
        };
        // A disk named like a saved one stands in for it.
        if (savedName.empty() && isSaved(disk.name)) savedName = disk.name;
        if (!savedName.empty()) {
            if (!isSaved(savedName)) {
                error = "--disk " + diskArgument + ": the saved configuration has no disk " + savedName +
                        " (it has " + Join(SavedDiskNames(saved), ", ") + ")";
                return false;
            }
            if (overrides.count(savedName)) {
                error = "--disk " + diskArgument + ": saved disk " + savedName + " is replaced twice";
                return false;
            }
            overrides[savedName] = disk.name;
            for (const SavedDisk& s : saved.disks)
                if (s.name == savedName) disk.boot = s.boot;
            auto json = savedDiskJson.find(savedName);
            if (json != savedDiskJson.end()) disk.rawJson = json->second;
        }
        vm.disks.push_back(disk);
    }
    // Without the saved boot disk among them, the first disk given boots.
    if (std::none_of(vm.disks.begin(), vm.disks.end(), [](const SDiskInfoLib& d) { return d.boot; }))
        vm.disks.front().boot = true;

    std::vector<std::string> nics = args.Values("nic");
    if (nics.empty()) nics = saved.interfaces;
    for (const std::string& name : nics) {
        SNetworkInterfaceInfoLib nic;
        nic.name = name;
        vm.networkInterfaces.push_back(nic);
    }
    return true;
}

// Saved disk resources by the disk's name; paths: the file each came from.
bool ReadSavedDisks(const Invocation& invocation, std::map<std::string, std::string>& disks,
                    std::map<std::string, std::string>& paths) {
    for (const std::string& path : invocation.args.Values("saved-disk")) {
        std::string text, error;
        json_spirit::mObject disk;
        if (!ReadTextFile(path, text, error)) {
            Complain(invocation, error);
            return false;
        }
        const std::string name = ZkJson::Unserialize(text, disk) ? ZkJson::GetStringValue(disk, "name") : "";
        if (name.empty()) {
            Complain(invocation, path + " is not a disk resource");
            return false;
        }
        disks[name] = text;
        paths[name] = path;
    }
    return true;
}

// A disk with no saved resource has its own current one stand in: the library reads it to tell a
// regional disk from a zonal one.
bool FillMissingDiskJson(const Session& session, CGoogleCloudSDKWrapper& cloud, const std::string& project,
                         SVMInfoLib& vm, int& status) {
    const std::string region = vm.zone.size() > 2 ? vm.zone.substr(0, vm.zone.size() - 2) : "";
    for (SDiskInfoLib& disk : vm.disks) {
        if (!disk.rawJson.empty()) continue;
        SDiskInfoLib current;
        session.Mark();
        if (cloud.DoesDiskExist(project, disk.name, vm.zone, "", false)
                ? cloud.GetDiskInfo(project, disk.name, vm.zone, "", false, current, 0)
                : cloud.GetDiskInfo(project, disk.name, "", region, true, current, 0)) {
            disk.rawJson = current.rawJson;
            continue;
        }
        status = session.Fail("reading disk " + disk.name + " in zone " + vm.zone + " or region " + region,
                              "no disk named " + disk.name + " in zone " + vm.zone + " or region " + region);
        return false;
    }
    return true;
}

void SayRetries(const Invocation& invocation, const std::vector<std::string>& retries) {
    if (!retries.empty()) Say(invocation, "the library retried after " + Join(retries, ", then after "));
}

int RunRestore(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    if (int status = RequireOptions(invocation, {"project", "config", "name", "zone", "disk"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    const bool later = args.Has("later");
    if (later && (!args.Has("bucket") || !args.Has("object")))
        return invocation.UsageError("--later needs --bucket B and --object O");
    if (!later && (args.Has("bucket") || args.Has("object")))
        return invocation.UsageError("--bucket and --object go with --later");

    std::string config, error;
    SavedInstance saved;
    if (!ReadTextFile(args.Value("config"), config, error)) return Complain(invocation, error);
    if (!ReadSavedInstance(config, saved))
        return Complain(invocation,
                        args.Value("config") + " is not an instance resource (a JSON object with disks)");
    std::map<std::string, std::string> savedDisks, savedDiskPaths;
    if (!ReadSavedDisks(invocation, savedDisks, savedDiskPaths)) return kExitFailure;
    SVMInfoLib vm;
    std::map<std::string, std::string> overrides;
    if (!PlanRestore(args, saved, savedDisks, vm, overrides, error)) return invocation.UsageError(error);
    // A saved disk no --disk replaces would be ignored: most likely a mistyped --disk.
    for (const auto& [name, path] : savedDiskPaths)
        if (!overrides.count(name))
            return invocation.UsageError("--saved-disk " + path + ": no --disk replaces saved disk " + name);

    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;
    const std::string project = args.Value("project");
    if (!FillMissingDiskJson(session, *cloud, project, vm, status)) return status;

    const bool clearProtection = args.Has("clear-deletion-protection");
    const bool dropAffinities = args.Has("drop-node-affinities");
    if (later) {
        const std::string bucket = args.Value("bucket"), object = args.Value("object");
        session.Mark();
        if (!cloud->DelayVMDeployment(project, config, bucket, object, vm, clearProtection, overrides,
                                      dropAffinities))
            return session.Fail("keeping the restore of VM " + vm.name + " in bucket " + bucket);
        Say(invocation, "the request body of VM " + vm.name + " is in gs://" + bucket + "/" + object +
                            "; create the VM with: " + invocation.registry.Program() + " deploy --project " +
                            project + " --zone " + vm.zone + " --bucket " + bucket + " --object " + object);
        if (invocation.Json())
            PrintJson(invocation,
                      json_spirit::mObject{
                          {"vm", vm.name}, {"zone", vm.zone}, {"bucket", bucket}, {"object", object}});
        return kExitOk;
    }

    std::vector<std::string> retries;
    if (!session.Follow(
            "restore " + vm.name,
            [&] {
                return cloud->CreateInstance(project, vm, config, clearProtection, overrides, dropAffinities);
            },
            &retries))
        return session.Fail("restoring VM " + vm.name + " in zone " + vm.zone);
    SayRetries(invocation, retries);
    vm.projectId = project;
    PrintVm(invocation, vm);
    return kExitOk;
}

int RunDeploy(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "zone", "bucket", "object"})) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const ParsedArguments& args = invocation.args;
    const std::string project = args.Value("project"), zone = args.Value("zone");
    const std::string bucket = args.Value("bucket"), object = args.Value("object");
    std::string body;
    if (!cloud->DownloadVMInfoFromBucket(project, bucket, object, body))
        return session.Fail("reading the VM configuration " + object + " of bucket " + bucket,
                            "object " + object + " of bucket " + bucket + " is not a VM configuration");
    SVMInfoLib vm;
    std::vector<std::string> retries;
    if (!session.Follow(
            "deploy " + object, [&] { return cloud->CreateInstanceFromJson(project, zone, body, vm); },
            &retries))
        return session.Fail("creating the VM kept in gs://" + bucket + "/" + object);
    SayRetries(invocation, retries);
    vm.projectId = project;
    PrintVm(invocation, vm);
    return kExitOk;
}

}  // namespace

void AddRestoreCommands(Registry& registry) {
    Command restore;
    restore.name = "restore";
    restore.summary = "Create a VM from its saved configuration, on disks restored from its snapshots";
    restore.usage =
        "--project P --config FILE --name NEW --zone Z --disk NAME[=SAVED] [--disk ...] [--saved-disk FILE "
        "...] "
        "[--machine-type T] [--nic NIC ...] [--clear-deletion-protection] [--drop-node-affinities] "
        "[--later --bucket B --object O]";
    restore.description =
        "The configuration is the VM's instance resource as saved at backup time ('snapshot --save-config'\n"
        "or 'vm config'): labels, metadata, tags, scheduling, network and more come from it.\n"
        "\n"
        "--disk NAME=SAVED  the existing disk NAME (made with 'disk from-snapshot') replaces the saved\n"
        "                   disk SAVED and takes its boot flag, mode and auto-delete; NAME alone replaces\n"
        "                   the saved disk of that name, or is attached as an extra disk. Without the saved\n"
        "                   boot disk among them, the first --disk boots.\n"
        "--saved-disk FILE  a saved disk resource (disk-<name>.json), for the disk that replaces it;\n"
        "                   without one, the new disk's own resource says whether it is regional.\n"
        "--nic NIC          a saved interface (nic0: its network, subnetwork and address), or a network URL\n"
        "                   (Compute Engine picks the subnetwork of an auto network and the address).\n"
        "                   Default: every saved interface. An address still in use makes the library\n"
        "                   retry with one Compute Engine picks.\n"
        "--later            keep the request body in gs://B/O instead of creating the VM; 'deploy' creates\n"
        "                   it. The kept body holds the saved addresses as they are.";
    restore.options = {
        {"project", "P", "project to restore into"},
        {"config", "FILE", "the saved instance resource (JSON)"},
        {"name", "NEW", "name of the new VM"},
        {"zone", "Z", "zone of the new VM and of its zonal disks"},
        Repeatable("disk", "NAME[=SAVED]", "a disk of the new VM (repeatable; see above)"),
        Repeatable("saved-disk", "FILE", "the saved resource of a replaced disk (repeatable)"),
        {"machine-type", "T", "machine type (default: the saved one)"},
        Repeatable("nic", "NIC", "network interface (repeatable; default: the saved ones)"),
        {"clear-deletion-protection", "", "restore without deletion protection"},
        {"drop-node-affinities", "", "restore off sole-tenant nodes"},
        {"later", "", "keep the request body in a bucket instead of creating the VM"},
        {"bucket", "B", "bucket for --later (made if missing)"},
        {"object", "O", "object name for --later"},
    };
    restore.run = RunRestore;
    registry.Add(std::move(restore));

    Command deploy;
    deploy.name = "deploy";
    deploy.summary = "Create the VM whose restore was kept in a bucket ('restore --later')";
    deploy.usage = "--project P --zone Z --bucket B --object O";
    deploy.options = {
        {"project", "P", "project to create it in"},
        {"zone", "Z", "zone of the VM"},
        {"bucket", "B", "the bucket"},
        {"object", "O", "the object 'restore --later' wrote"},
    };
    deploy.run = RunDeploy;
    registry.Add(std::move(deploy));
}

}  // namespace gcsdk
