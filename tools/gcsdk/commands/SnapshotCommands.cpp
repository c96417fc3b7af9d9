// snapshot: one disk (every disk of a VM is SnapshotVm's); snapshots list and snapshots delete.
#include <algorithm>
#include <ostream>

#include "Session.h"
#include "cli/Output.h"
#include "cli/ResourceNames.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "commands/SnapshotVm.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SSnapshotInfoLib;

int SnapshotDisk(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    if (args.Has("prefix") || args.Has("save-config"))
        return invocation.UsageError("--prefix and --save-config go with --vm or --vm-guid");
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    if (int status = RequireResourceName(invocation, "disk")) return status;
    DiskLocation location;
    if (int status = ReadLocation(invocation, location)) return status;

    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = args.Value("project"), disk = args.Value("disk");
    const bool wait = !args.Has("no-wait");
    SSnapshotInfoLib snapshot;
    snapshot.name = args.Value("name");
    if (!session.Follow("snapshot " + disk, "the snapshot", [&] {
            return cloud->CreateDiskSnapshot(project, disk, location.zone, location.region, location.regional,
                                             args.Has("guest-flush"), snapshot, wait);
        }))
        return session.Fail("snapshotting disk " + disk + " in " + location.Describe() + " of project " +
                            project);

    if (!wait) {
        snapshot.sourceDisk = disk;
        json_spirit::mObject object = SnapshotObject(snapshot);
        object["waited"] = false;
        PrintRecord(invocation, {{"NAME", snapshot.name}, {"SOURCE DISK", disk}, {"STATUS", "started"}},
                    object);
        return kExitOk;
    }
    PrintRecord(invocation,
                {{"NAME", snapshot.name},
                 {"STATUS", snapshot.status},
                 {"SOURCE DISK", snapshot.sourceDisk},
                 {"SIZE GB", SizeText(snapshot.diskSizeGb)},
                 {"CREATED", snapshot.creationTimestamp},
                 {"LABELS", LabelText(snapshot.labels)}},
                SnapshotObject(snapshot));
    return kExitOk;
}

int RunSnapshot(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    const bool byVm = args.Has("vm") || args.Has("vm-guid");
    if (args.Has("vm") && args.Has("vm-guid"))
        return invocation.UsageError("give --vm or --vm-guid, not both");
    if (args.Has("disk") == byVm)
        return invocation.UsageError(
            "give --disk D (one disk), or --vm NAME or --vm-guid ID (every disk of a VM)");
    return byVm ? SnapshotVm(invocation) : SnapshotDisk(invocation);
}

int RunSnapshotsList(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project"})) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project");
    std::vector<SSnapshotInfoLib> snapshots;
    const bool listed = cloud->GetSnapshotList(project, snapshots, 0);
    if (!session.Listed(listed, snapshots.empty()))
        return session.Fail("listing the snapshots of project " + project);
    std::sort(snapshots.begin(), snapshots.end(),
              [](const SSnapshotInfoLib& a, const SSnapshotInfoLib& b) { return a.name < b.name; });
    return PrintList<SSnapshotInfoLib>(
        invocation, snapshots, "snapshots", {"NAME", "STATUS", "SOURCE DISK", "SIZE GB", "CREATED", "LABELS"},
        [](const SSnapshotInfoLib& s) -> std::vector<std::string> {
            return {s.name,
                    s.status,
                    s.sourceDisk,
                    SizeText(s.diskSizeGb),
                    s.creationTimestamp,
                    LabelText(s.labels)};
        },
        SnapshotObject);
}

// Every name is tried, whatever became of the one before; one already gone counts as deleted, as for
// 'disk delete'.
int RunSnapshotsDelete(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    std::vector<std::string> names;  // each once, in the order given
    for (const std::string& name : invocation.args.Values("name"))
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    for (const std::string& name : names)
        if (!IsResourceName(name))
            return invocation.UsageError("--name '" + TerminalSafe(name) +
                                         "' is not a Compute Engine name (" + kResourceNameRule + ")");
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project");
    json_spirit::mArray deleted, failed;
    for (const std::string& name : names) {
        const bool done = session.Follow("delete snapshot " + name, "the deletion",
                                         [&] { return cloud->DeleteDiskSnapshot(project, name); });
        if (done || session.NotFound()) {
            Say(invocation, "snapshot " + name + " is gone");
            deleted.push_back(name);
            continue;
        }
        const std::string line = session.FailureLine("deleting snapshot " + name + " of project " + project);
        session.Fail("deleting snapshot " + name + " of project " + project);
        failed.push_back(json_spirit::mObject{{"name", name}, {"error", line}});
    }
    if (invocation.Json())
        PrintJson(invocation, json_spirit::mObject{{"deleted", deleted}, {"failed", failed}});
    return failed.empty() ? kExitOk : kExitFailure;
}

}  // namespace

void AddSnapshotCommands(Registry& registry) {
    Command snapshot;
    snapshot.name = "snapshot";
    snapshot.summary = "Snapshot one disk, or every disk of a VM";
    snapshot.usage =
        "--project P --disk D (--zone Z | --region R) --name SNAP | (--vm NAME --project P [--zone Z] | "
        "--vm-guid ID) [--prefix PFX] [--save-config DIR] [--guest-flush] [--no-wait]";
    snapshot.description =
        "One disk: the snapshot gets the name given. Every disk of a VM (found by name, or by GUID in any\n"
        "project): each persistent disk's snapshot is named <prefix><disk>-<yyyymmdd>-<hhmmss> (UTC, one\n"
        "time for all), shortened to 63 characters when needed; local SSDs are left out. Every disk's\n"
        "snapshot is requested before any is waited for, so that the disks are captured together.\n"
        "With --save-config, the VM's instance resource (instance.json) and each disk's resource\n"
        "(disk-<name>.json) are written to DIR first: what 'restore --config' and 'restore --saved-disk'\n"
        "take back. They may hold secrets (startup scripts in metadata): the files are made readable by\n"
        "their owner only (0600), and ones that were there are narrowed to that.\n"
        "Waits for each snapshot to be READY unless --no-wait.";
    snapshot.options = {
        {"project", "P", "project of the disk or VM"},
        {"disk", "D", "the disk to snapshot"},
        {"zone", "Z", "zone of the disk (with --disk), or where to look for the VM first (with --vm)"},
        {"region", "R", "region of a regional disk (with --disk)"},
        {"name", "SNAP", "name of the snapshot (with --disk)"},
        {"vm", "NAME", "snapshot every disk of this VM"},
        {"vm-guid", "ID", "snapshot every disk of the VM with this GUID"},
        {"prefix", "PFX", "start of the snapshot names of a VM's disks"},
        {"save-config", "DIR", "save the VM's configuration and disk resources in DIR (made if missing)"},
        {"guest-flush", "", "ask the guest to flush its file systems first"},
        {"no-wait", "", "do not wait for the snapshots to be READY"},
    };
    snapshot.run = RunSnapshot;
    registry.Add(std::move(snapshot));

    Command list;
    list.name = "snapshots list";
    list.summary = "List the snapshots of a project";
    list.usage = "--project P";
    list.options = {kProjectIdOption};
    list.run = RunSnapshotsList;
    registry.Add(std::move(list));

    Command remove;
    remove.name = "snapshots delete";
    remove.summary = "Delete snapshots (each one tried; one already gone counts as deleted)";
    remove.usage = "--project P --name SNAP [--name SNAP ...]";
    remove.options = {kProjectIdOption, Repeatable("name", "SNAP", "a snapshot to delete (repeatable)")};
    remove.run = RunSnapshotsDelete;
    registry.Add(std::move(remove));
}

}  // namespace gcsdk
