// disk keys (the encryption keys of a VM's disks, as the library judges them), disk labels show and set.
#include <ostream>

#include "Session.h"
#include "cli/Labels.h"
#include "cli/Output.h"
#include "cli/ResourceNames.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "commands/DiskKeys.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SDiskInfoLib;
using GoogleCloudSDKWrapper::SKeyValueInfoLib;
using GoogleCloudSDKWrapper::SVMInfoLib;

int RunKeys(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "vm"})) return status;
    if (int status = RequireResourceName(invocation, "vm")) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project"), name = invocation.args.Value("vm");
    SVMInfoLib vm;
    if (!cloud->DoesVMExist(project, name, invocation.args.Value("zone"), vm) || vm.name.empty())
        return session.Fail("looking for VM " + name + " in project " + project,
                            "no VM named " + name + " found in project " + project);
    session.Mark();
    // With its disks' resources, which hold their keys.
    if (!cloud->GetVMInfo(project, vm.name, "", vm.zone, vm, VM_PROP_VM_DISK_LIST))
        return session.Fail("reading the disks of VM " + name);
    std::vector<DiskKey> keys;
    std::string what;
    session.Mark();
    if (!ReadDiskKeys(*cloud, vm.disks, keys, nullptr, what)) return session.Fail(what + " of VM " + name);
    return PrintList<DiskKey>(
        invocation, keys, "disks",
        {"DISK", "KEY TYPE", "KEY", "STATE", "PROTECTION LEVEL", "SUPPORTED", "WHY NOT"},
        [](const DiskKey& key) -> std::vector<std::string> {
            return {key.disk,
                    key.encrypted ? key.keyType : "none",
                    key.keyPath,
                    key.state,
                    key.protectionLevel,
                    key.supported ? "yes" : "no",
                    key.reason};
        },
        [](const DiskKey& key) {
            return json_spirit::mObject{
                {"disk", key.disk},           {"encrypted", key.encrypted},
                {"keyType", key.keyType},     {"keyPath", key.keyPath},
                {"state", key.state},         {"protectionLevel", key.protectionLevel},
                {"supported", key.supported}, {"reason", key.reason}};
        });
}

void PrintLabels(const Invocation& invocation, const std::string& disk, const LabelList& labels) {
    if (invocation.Json()) {
        PrintJson(invocation,
                  json_spirit::mObject{{"name", disk}, {"labels", LabelObject(LabelRecords(labels))}});
        return;
    }
    Table table({"KEY", "VALUE"});
    for (const auto& [key, value] : labels) table.AddRow({key, value});
    PrintTable(invocation, table, "labels");
}

int RunLabelsShow(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    DiskLocation location;
    if (int status = ReadLocation(invocation, location)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string name = invocation.args.Value("name");
    std::vector<SKeyValueInfoLib> labels;
    if (!cloud->GetDiskLabels(invocation.args.Value("project"), name, location.zone, location.region,
                              location.regional, labels))
        return session.Fail("reading the labels of disk " + name + " in " + location.Describe());
    PrintLabels(invocation, name, LabelsOf(labels));
    return kExitOk;
}

int RunLabelsSet(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    DiskLocation location;
    if (int status = ReadLocation(invocation, location)) return status;
    LabelList set;
    std::string error;
    if (!ReadLabelChanges(args.Positional(), args.Values("remove"), set, error))
        return invocation.UsageError(error);
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = args.Value("project"), name = args.Value("name");
    const std::string what = "setting the labels of disk " + name + " in " + location.Describe();
    // The disk as read now: the change names its labels' fingerprint, so that it replaces only these.
    SDiskInfoLib disk;
    if (!cloud->GetDiskInfo(project, name, location.zone, location.region, location.regional, disk, 0))
        return session.Fail("reading disk " + name + " in " + location.Describe());
    const LabelList wanted = ChangedLabels(LabelsOf(disk.labels), set, args.Values("remove"));
    session.Mark();
    if (!cloud->SetDiskLabels(project, disk, location.zone, location.region, location.regional,
                              LabelRecords(wanted))) {
        if (cloud->GetLastErrorCode() == "412")
            return Complain(invocation, what +
                                            ": its labels changed after they were read (another change "
                                            "came first), and nothing was changed; run it again: " +
                                            session.Reason());
        return session.Fail(what);
    }
    std::vector<SKeyValueInfoLib> after;
    session.Mark();
    if (!cloud->GetDiskLabels(project, name, location.zone, location.region, location.regional, after))
        return session.Fail(what + ": the change was requested; reading the labels back failed");
    const std::vector<std::string> differences = LabelDifferences(wanted, LabelsOf(after));
    if (!differences.empty())
        return Complain(invocation, what + ": the change was requested, but the labels read back differ (" +
                                        Join(differences, "; ") + "); it may still be under way");
    PrintLabels(invocation, name, LabelsOf(after));
    return kExitOk;
}

const Option kZone{"zone", "Z", "zone of the disk"};
const Option kRegion{"region", "R", "region of a regional disk"};

}  // namespace

void AddDiskKeyAndLabelCommands(Registry& registry) {
    Command keys;
    keys.name = "disk keys";
    keys.summary = "Show the encryption key of every disk of a VM, and whether the library supports it";
    keys.usage = "--project P --vm NAME [--zone Z]";
    keys.description =
        "For each disk: its key type (kmsKeyName, rawKey, sha256, or none), a Cloud KMS key's path with\n"
        "its primary version's state and protection level, and whether the library supports the key (Cloud\n"
        "KMS keys of protection level SOFTWARE) and why not. A raw key or its hash is never shown.";
    keys.options = {kProjectIdOption,
                    {"vm", "NAME", "the VM"},
                    {"zone", "Z", "the VM's zone (default: looked up in every zone of the project)"}};
    keys.run = RunKeys;
    registry.Add(std::move(keys));

    Command show;
    show.name = "disk labels show";
    show.summary = "Show a disk's labels";
    show.usage = "--project P --name D (--zone Z | --region R)";
    show.options = {kProjectIdOption, {"name", "D", "the disk"}, kZone, kRegion};
    show.run = RunLabelsShow;
    registry.Add(std::move(show));

    Command set;
    set.name = "disk labels set";
    set.summary = "Set or remove labels of a disk, keeping the others";
    set.usage = "--project P --name D (--zone Z | --region R) [KEY=VALUE]... [--remove KEY]...";
    set.description =
        "Reads the disk, then replaces its labels with those it had, changed as asked. Compute Engine\n"
        "refuses the change (412) when the labels changed in between: nothing is changed then, and the\n"
        "command can be run again. Prints the labels as they are after.";
    set.options = {kProjectIdOption,
                   {"name", "D", "the disk"},
                   kZone,
                   kRegion,
                   Repeatable("remove", "KEY", "remove the label (no mistake when it is not there)")};
    set.maxPositional = 64;  // Compute Engine allows 64 labels
    set.run = RunLabelsSet;
    registry.Add(std::move(set));
}

}  // namespace gcsdk
