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
#include "commands/SavedInstance.h"
#include "host/ZkJson.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SDiskInfoLib;
using GoogleCloudSDKWrapper::SNetworkInterfaceInfoLib;
using GoogleCloudSDKWrapper::SVMInfoLib;

// The saved interface a --nic names: its name, or its number as the library reads one ("1" is nic0).
std::string InterfaceName(const std::string& nic) {
    const bool number = nic.size() == 1 && nic[0] >= '1' && nic[0] <= '9';
    return number ? "nic" + std::to_string(nic[0] - '1') : nic;
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
    if (nics.empty())
        for (const SavedInterface& nic : saved.interfaces) nics.push_back(nic.name);
    std::vector<std::string> savedNames;
    for (const SavedInterface& nic : saved.interfaces) savedNames.push_back(nic.name);
    for (const std::string& name : nics) {
        // The library takes a URL for a network and anything else for a saved interface's name.
        if (name.find("//") == std::string::npos &&
            std::find(savedNames.begin(), savedNames.end(), InterfaceName(name)) == savedNames.end()) {
            error = "--nic " + name + ": the saved configuration has no interface " + name + " (it has " +
                    Join(savedNames, ", ") + "); a network is given by its URL (https://...)";
            return false;
        }
        SNetworkInterfaceInfoLib nic;
        nic.name = name;
        vm.networkInterfaces.push_back(nic);
    }
    // The library takes them from the record, not from the saved configuration.
    if (!args.Has("no-service-account")) vm.serviceAccounts = saved.serviceAccounts;
    return true;
}

// The saved interfaces a restore uses: named, or by number ("1" is nic0), as the library reads them.
std::vector<std::string> UsedInterfaces(const SVMInfoLib& vm) {
    std::vector<std::string> used;
    for (const SNetworkInterfaceInfoLib& nic : vm.networkInterfaces) used.push_back(InterfaceName(nic.name));
    return used;
}

// What the restored VM lacks, said after what was done: on out for people, in the JSON object for scripts.
void SayNotCarriedOver(const Invocation& invocation, const std::vector<std::string>& notes) {
    if (!notes.empty())
        Say(invocation, "not carried over from the saved configuration: " + Join(notes, ", "));
}

json_spirit::mArray NotesArray(const std::vector<std::string>& notes) {
    return json_spirit::mArray(notes.begin(), notes.end());
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
    const std::vector<std::string> notCarried =
        NotCarriedOver(saved, UsedInterfaces(vm), overrides, args.Has("no-service-account"));
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
                            ShellWord(project) + " --zone " + ShellWord(vm.zone) + " --bucket " +
                            ShellWord(bucket) + " --object " + ShellWord(object));
        SayNotCarriedOver(invocation, notCarried);
        if (invocation.Json())
            PrintJson(invocation, json_spirit::mObject{{"vm", vm.name},
                                                       {"zone", vm.zone},
                                                       {"bucket", bucket},
                                                       {"object", object},
                                                       {"notCarriedOver", NotesArray(notCarried)}});
        return kExitOk;
    }

    std::vector<std::string> retries;
    if (!session.Follow(
            "restore " + vm.name, "the VM",
            [&] {
                return cloud->CreateInstance(project, vm, config, clearProtection, overrides, dropAffinities);
            },
            &retries))
        return session.Fail("restoring VM " + vm.name + " in zone " + vm.zone);
    SayRetries(invocation, retries);
    vm.projectId = project;
    if (invocation.Json()) {
        json_spirit::mObject object = VmObject(vm);
        object["notCarriedOver"] = NotesArray(notCarried);
        PrintJson(invocation, object);
        return kExitOk;
    }
    PrintVm(invocation, vm);
    SayNotCarriedOver(invocation, notCarried);
    return kExitOk;
}

int RunDeploy(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "bucket", "object"})) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const ParsedArguments& args = invocation.args;
    const std::string project = args.Value("project");
    const std::string bucket = args.Value("bucket"), object = args.Value("object");
    std::string body;
    if (!cloud->DownloadVMInfoFromBucket(project, bucket, object, body))
        return session.Fail("reading the VM configuration " + object + " of bucket " + bucket,
                            "object " + object + " of bucket " + bucket + " is not a VM configuration");
    // The kept body names its machine type and zonal disks in the zone the restore planned for: the VM
    // can be made there only.
    json_spirit::mObject kept;
    const std::string keptZone =
        ZkJson::Unserialize(body, kept) ? LastSegment(ZkJson::GetStringValue(kept, "zone")) : "";
    const std::string zone = args.Value("zone", keptZone);
    if (!keptZone.empty() && zone != keptZone)
        return invocation.UsageError("--zone " + TerminalSafe(zone) + ": the VM kept in gs://" + bucket +
                                     "/" + object + " is for zone " + keptZone +
                                     ", where its machine type and disks are");
    if (zone.empty()) return invocation.UsageError("missing --zone (the kept VM names none)");
    SVMInfoLib vm;
    std::vector<std::string> retries;
    if (!session.Follow(
            "deploy " + object, "the VM",
            [&] { return cloud->CreateInstanceFromJson(project, zone, body, vm); }, &retries))
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
        "[--no-service-account] "
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
        "                   it. The kept body holds the saved addresses as they are.\n"
        "\n"
        "The saved service accounts (with their scopes) go with the VM unless --no-service-account. Not\n"
        "carried over, and named after the restore when the saved VM had them: external addresses and alias\n"
        "IP ranges of the interfaces, accelerators, a minimum CPU platform, the host name, resource\n"
        "policies, reservation affinity, advanced machine features and the other fields the library's\n"
        "request leaves out, and saved disks no --disk replaces.";
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
        {"no-service-account", "", "restore without the saved service accounts"},
        {"later", "", "keep the request body in a bucket instead of creating the VM"},
        {"bucket", "B", "bucket for --later (made if missing)"},
        {"object", "O", "object name for --later"},
    };
    restore.run = RunRestore;
    registry.Add(std::move(restore));

    Command deploy;
    deploy.name = "deploy";
    deploy.summary = "Create the VM whose restore was kept in a bucket ('restore --later')";
    deploy.usage = "--project P --bucket B --object O [--zone Z]";
    deploy.description =
        "The kept request body is sent as it is: its machine type and zonal disks are those of the zone the\n"
        "restore planned for, so the VM is made in that zone; --zone may only repeat it.";
    deploy.options = {
        {"project", "P", "project to create it in"},
        {"zone", "Z", "zone of the VM (default, and the only one allowed: the kept VM's)"},
        {"bucket", "B", "the bucket"},
        {"object", "O", "the object 'restore --later' wrote"},
    };
    deploy.run = RunDeploy;
    registry.Add(std::move(deploy));
}

}  // namespace gcsdk
