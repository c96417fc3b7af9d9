// disk from-snapshot, attach, detach, move, delete and show.
#include <algorithm>
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

int RunFromSnapshot(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    if (int status = RequireOptions(invocation, {"project", "snapshot", "name"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    if (int status = RequireResourceName(invocation, "snapshot")) return status;
    DiskLocation location;
    if (int status = ReadLocation(invocation, location)) return status;
    if (args.Has("replica-zones") && !location.regional)
        return invocation.UsageError("--replica-zones goes with --region");
    const std::vector<std::string> replicaZones = SplitList(args.Value("replica-zones"));
    if (args.Has("replica-zones") && replicaZones.size() != 2)
        return invocation.UsageError("--replica-zones takes two zones of the region, as Z1,Z2");
    if (location.regional && replicaZones.empty() && !args.Has("saved-disk"))
        return invocation.UsageError(
            "--region needs --replica-zones Z1,Z2 (or a --saved-disk that names them)");

    SDiskInfoLib disk;
    disk.replicaZones = replicaZones;
    std::string type = args.Value("type");
    if (args.Has("saved-disk")) {
        std::string error;
        if (!ReadTextFile(args.Value("saved-disk"), disk.rawJson, error)) return Complain(invocation, error);
        json_spirit::mObject saved;
        if (!ZkJson::Unserialize(disk.rawJson, saved) || ZkJson::GetStringValue(saved, "name").empty())
            return Complain(invocation, args.Value("saved-disk") + " is not a disk resource");
        // The saved disk's type unless another is asked for: the library leaves the type to its caller.
        if (type.empty()) type = LastSegment(ZkJson::GetStringValue(saved, "type"));
    }

    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = args.Value("project"), snapshot = args.Value("snapshot"),
                      name = args.Value("name");
    // The library takes the encryption key from the record, not from the saved resource.
    if (!disk.rawJson.empty()) {
        SDiskInfoLib saved;
        if (!cloud->ParseDiskInfo(disk.rawJson, saved))
            return session.Fail("reading the saved disk " + args.Value("saved-disk"),
                                args.Value("saved-disk") + " is not a disk resource");
        disk.isEncrypted = saved.isEncrypted;
        disk.encryptionKey = saved.encryptionKey;
        session.Mark();
    }
    // The library takes the snapshot by its URL.
    std::string snapshotUrl;
    if (!cloud->GetSnapshotUri(project, snapshot, snapshotUrl))
        return session.Fail("reading snapshot " + snapshot + " of project " + project);
    const bool wait = !args.Has("no-wait");
    if (!session.Follow("disk " + name + " from " + snapshot, "the disk", [&] {
            return cloud->CreateDiskFromSnapshot(project, snapshotUrl, name, location.zone, location.region,
                                                 location.regional, type, disk, wait);
        }))
        return session.Fail("creating disk " + name + " in " + location.Describe() + " from snapshot " +
                            snapshot);
    if (!wait) {
        PrintRecord(invocation, {{"NAME", name}, {"SOURCE SNAPSHOT", snapshot}, {"STATUS", "started"}},
                    {{"name", name}, {"sourceSnapshot", snapshot}, {"waited", false}});
        return kExitOk;
    }
    PrintDisk(invocation, disk);
    return kExitOk;
}

int RunAttach(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name", "vm", "zone"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    if (int status = RequireResourceName(invocation, "vm")) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const ParsedArguments& args = invocation.args;
    const std::string disk = args.Value("name"), vm = args.Value("vm");
    bool limitExceeded = false;
    if (!session.Follow("attach " + disk + " to " + vm, "the attachment", [&] {
            return cloud->AttachDisk(args.Value("project"), disk, vm, args.Value("zone"), limitExceeded);
        }))
        return session.Fail("attaching disk " + disk + " to VM " + vm +
                            (limitExceeded ? " (the VM has as many disks as its machine type allows)" : ""));
    Say(invocation, "attached disk " + disk + " to VM " + vm);
    if (invocation.Json())
        PrintJson(invocation, json_spirit::mObject{{"disk", disk}, {"vm", vm}, {"attached", true}});
    return kExitOk;
}

int RunDetach(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name", "vm", "zone"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    if (int status = RequireResourceName(invocation, "vm")) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const ParsedArguments& args = invocation.args;
    const std::string disk = args.Value("name"), vm = args.Value("vm");
    // The library succeeds when the disk is attached to nothing: look first.
    SDiskInfoLib current;
    if (!cloud->GetDiskInfo(args.Value("project"), disk, args.Value("zone"), "", false, current, 0))
        return session.Fail("reading disk " + disk + " in zone " + args.Value("zone"));
    if (std::find(current.users.begin(), current.users.end(), vm) == current.users.end())
        return Complain(invocation, "disk " + disk + " is not attached to VM " + vm);
    if (!session.Follow("detach " + disk + " from " + vm, "the detachment", [&] {
            return cloud->DetachDisk(args.Value("project"), disk, vm, args.Value("zone"));
        }))
        return session.Fail("detaching disk " + disk + " from VM " + vm,
                            "disk " + disk + " is not attached to VM " + vm);
    Say(invocation, "detached disk " + disk + " from VM " + vm);
    if (invocation.Json())
        PrintJson(invocation, json_spirit::mObject{{"disk", disk}, {"vm", vm}, {"detached", true}});
    return kExitOk;
}

int RunMove(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name", "zone", "to-zone"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    const ParsedArguments& args = invocation.args;
    if (args.Value("zone") == args.Value("to-zone"))
        return invocation.UsageError("--to-zone names the zone the disk is in already");
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string disk = args.Value("name"), to = args.Value("to-zone");
    SDiskInfoLib moved;
    if (!session.Follow("move " + disk + " to " + to, "the move", [&] {
            return cloud->MoveDisk(args.Value("project"), disk, args.Value("zone"), to, moved);
        }))
        return session.Fail("moving disk " + disk + " from zone " + args.Value("zone") + " to zone " + to);
    PrintDisk(invocation, moved);
    return kExitOk;
}

int RunDelete(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    DiskLocation location;
    if (int status = ReadLocation(invocation, location)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string disk = invocation.args.Value("name");
    if (!session.Follow("delete " + disk, "the deletion", [&] {
            return cloud->DeleteDisk(invocation.args.Value("project"), disk, location.zone, location.region,
                                     location.regional);
        }))
        return session.Fail("deleting disk " + disk + " in " + location.Describe());
    Say(invocation, "disk " + disk + " is gone");
    if (invocation.Json()) PrintJson(invocation, json_spirit::mObject{{"disk", disk}, {"deleted", true}});
    return kExitOk;
}

int RunShow(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    DiskLocation location;
    if (int status = ReadLocation(invocation, location)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    SDiskInfoLib disk;
    const std::string name = invocation.args.Value("name");
    if (!cloud->GetDiskInfo(invocation.args.Value("project"), name, location.zone, location.region,
                            location.regional, disk, 0))
        return session.Fail("reading disk " + name + " in " + location.Describe());
    PrintDisk(invocation, disk);
    return kExitOk;
}

const Option kZone{"zone", "Z", "zone of the disk"};
const Option kRegion{"region", "R", "region of a regional disk"};

}  // namespace

void AddDiskCommands(Registry& registry) {
    Command fromSnapshot;
    fromSnapshot.name = "disk from-snapshot";
    fromSnapshot.summary = "Create a disk from a snapshot";
    fromSnapshot.usage =
        "--project P --snapshot S --name D (--zone Z | --region R [--replica-zones Z1,Z2]) [--type T] "
        "[--saved-disk FILE] [--no-wait]";
    fromSnapshot.description =
        "The new disk is as large as the snapshot. With --saved-disk (a disk resource saved by 'snapshot\n"
        "--save-config'), it gets that disk's labels, licenses, interface and encryption key, and a "
        "regional\n"
        "disk its replica zones unless --replica-zones names others.";
    fromSnapshot.options = {
        kProjectIdOption,
        {"snapshot", "S", "the snapshot's name"},
        {"name", "D", "name of the new disk"},
        {"zone", "Z", "zone of a zonal disk"},
        {"region", "R", "region of a regional disk"},
        {"replica-zones", "Z1,Z2", "the two zones of a regional disk"},
        {"type", "T", "disk type, such as pd-balanced (default: the saved disk's, else Compute Engine's)"},
        {"saved-disk", "FILE", "the saved resource of the disk the snapshot was made of"},
        {"no-wait", "", "do not wait for the disk to be READY"},
    };
    fromSnapshot.run = RunFromSnapshot;
    registry.Add(std::move(fromSnapshot));

    Command attach;
    attach.name = "disk attach";
    attach.summary = "Attach a zonal disk to a VM";
    attach.usage = "--project P --name D --vm V --zone Z";
    attach.options = {
        kProjectIdOption, {"name", "D", "the disk"}, {"vm", "V", "the VM"}, {"zone", "Z", "zone of both"}};
    attach.run = RunAttach;
    registry.Add(std::move(attach));

    Command detach;
    detach.name = "disk detach";
    detach.summary = "Detach a zonal disk from a VM";
    detach.usage = "--project P --name D --vm V --zone Z";
    detach.options = {
        kProjectIdOption, {"name", "D", "the disk"}, {"vm", "V", "the VM"}, {"zone", "Z", "zone of both"}};
    detach.run = RunDetach;
    registry.Add(std::move(detach));

    Command move;
    move.name = "disk move";
    move.summary = "Move a zonal disk to another zone";
    move.usage = "--project P --name D --zone Z --to-zone Z2";
    move.options = {
        kProjectIdOption, {"name", "D", "the disk"}, kZone, {"to-zone", "Z2", "the zone to move it to"}};
    move.run = RunMove;
    registry.Add(std::move(move));

    Command remove;
    remove.name = "disk delete";
    remove.summary = "Delete a disk (done also when it was gone already)";
    remove.usage = "--project P --name D (--zone Z | --region R)";
    remove.options = {kProjectIdOption, {"name", "D", "the disk"}, kZone, kRegion};
    remove.run = RunDelete;
    registry.Add(std::move(remove));

    Command show;
    show.name = "disk show";
    show.summary = "Show a disk";
    show.usage = "--project P --name D (--zone Z | --region R)";
    show.options = {kProjectIdOption, {"name", "D", "the disk"}, kZone, kRegion};
    show.run = RunShow;
    registry.Add(std::move(show));
}

}  // namespace gcsdk
