// snapshot --vm and --vm-guid: every persistent disk of a VM, its configuration saved first if asked.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "Session.h"
#include "cli/Output.h"
#include "cli/Progress.h"
#include "cli/ResourceNames.h"
#include "commands/Common.h"
#include "commands/SnapshotVm.h"
#include "host/HostClock.h"
#include "host/Settings.h"
#include "host/XwSleep.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SDiskInfoLib;
using GoogleCloudSDKWrapper::SSnapshotInfoLib;
using GoogleCloudSDKWrapper::SVMInfoLib;

// A prefix is kept as given: it must already make a name's start.
bool IsPrefix(const std::string& prefix) {
    if (prefix.empty() || prefix.size() > 40 || prefix.front() < 'a' || prefix.front() > 'z') return false;
    return std::all_of(prefix.begin(), prefix.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; });
}

// The VM's instance resource and each disk's resource, as a restore takes them back.
bool SaveConfiguration(const Session& session, CGoogleCloudSDKWrapper& cloud, const SVMInfoLib& vm,
                       const std::string& dir, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(dir, code);
    if (code) {
        error = "making " + dir + ": " + code.message();
        return false;
    }
    std::string config;
    session.Mark();
    if (!cloud.GetInstanceConfigJson(vm.projectId, vm.name, "", vm.zone, config)) {
        session.Fail("reading the configuration of VM " + vm.name);
        return false;
    }
    if (!WriteTextFile(dir + "/instance.json", config, error)) return false;
    for (const SDiskInfoLib& disk : vm.disks) {
        if (disk.type == "SCRATCH") continue;  // a local SSD has no disk resource
        // The name comes from the server and makes a file name: nothing that could leave DIR.
        if (!IsResourceName(disk.name)) {
            error = "VM " + vm.name + " has a disk named '" + TerminalSafe(disk.name) +
                    "', not a Compute Engine name; its resource is not saved";
            return false;
        }
        std::string json = disk.rawJson;
        if (json.empty()) {  // the library could not read it with the VM: a restore would lack it
            const std::string region = RegionOfDiskUrl(disk.source);
            SDiskInfoLib read;
            session.Mark();
            if (!cloud.GetDiskInfo(vm.projectId, disk.name, region.empty() ? vm.zone : "", region,
                                   !region.empty(), read, 0) ||
                read.rawJson.empty()) {
                session.Fail("reading disk " + disk.name + " of VM " + vm.name);
                return false;
            }
            json = read.rawJson;
        }
        if (!WriteTextFile(dir + "/disk-" + disk.name + ".json", json, error)) return false;
    }
    return true;
}

// One disk's snapshot in a backup of a VM.
struct Made {
    std::string disk;
    SSnapshotInfoLib snapshot;
    bool requested = false;
};

// How often and how long a snapshot is read until READY: the library's own snapshot timing, whose 0
// means the operation timing.
void SnapshotTiming(uint32_t& pollSecs, uint32_t& timeoutSecs) {
    namespace settings = host::settings;
    pollSecs = settings::Read(settings::kSnapshotPolling);
    if (pollSecs == 0) pollSecs = settings::Read(settings::kOperationWaitTime);
    timeoutSecs = settings::Read(settings::kSnapshotTimeout);
    if (timeoutSecs == 0) timeoutSecs = settings::Read(settings::kOperationTimeout);
}

// Reads the requested snapshot until it is READY, with a progress line; the record as read at the end.
bool FollowSnapshot(const Session& session, CGoogleCloudSDKWrapper& cloud, const std::string& project,
                    const std::string& vmName, Made& entry) {
    const std::string what = "snapshotting disk " + entry.disk + " of VM " + vmName;
    uint32_t pollSecs = 0, timeoutSecs = 0;
    SnapshotTiming(pollSecs, timeoutSecs);
    Progress progress(session.invocation().out, session.ProgressMode(), "snapshot " + entry.disk);
    const int64_t start = host::Now();
    for (;;) {
        SSnapshotInfoLib read;
        session.Mark();
        if (!cloud.GetSnapshotInfo(project, entry.snapshot.name, read, 0)) {
            progress.Finish(false);
            entry.snapshot.status = "FAILED";
            session.FailFollowing(what, "the snapshot", session.Reason());
            return false;
        }
        if (read.status == "READY") {
            progress.Finish(true);
            entry.snapshot = read;
            return true;
        }
        entry.snapshot.status = read.status;
        if (read.status == "FAILED" || read.status == "DELETING") {
            progress.Finish(false);
            Complain(session.invocation(), what + ": snapshot " + entry.snapshot.name + " is " + read.status);
            return false;
        }
        progress.OnEvent({PollEvent::Kind::kStatus, read.status});
        if (host::Now() - start > static_cast<int64_t>(timeoutSecs)) {
            progress.Finish(false);
            session.FailFollowing(what, "the snapshot", "it was not READY in the time allowed");
            return false;
        }
        XWSLEEP_InTeRnAl(pollSecs * 1000, __FILE__, __LINE__);
    }
}

}  // namespace

int SnapshotVm(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    const std::string guid = args.Value("vm-guid"), name = args.Value("vm"), project = args.Value("project");
    if (args.Has("name"))
        return invocation.UsageError(
            "--name goes with --disk; snapshots of a VM are named <prefix><disk>-<time>");
    if (args.Has("region")) return invocation.UsageError("--region goes with --disk");
    if (!guid.empty() && (args.Has("project") || args.Has("zone")))
        return invocation.UsageError("--project and --zone go with --vm; --vm-guid searches every project");
    if (guid.empty() && project.empty())
        return invocation.UsageError("--vm needs --project (or give --vm-guid)");
    if (!guid.empty() && !IsGuid(guid))
        return invocation.UsageError("--vm-guid '" + TerminalSafe(guid) +
                                     "' is not a VM GUID (a decimal number)");
    if (guid.empty())
        if (int status = RequireResourceName(invocation, "vm")) return status;
    const std::string prefix = args.Value("prefix");
    if (args.Has("prefix") && !IsPrefix(prefix))
        return invocation.UsageError(
            "--prefix takes lowercase letters, digits and '-', starting with a letter, "
            "at most 40 characters");

    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    // The disk list tells each disk's zone or region; with the disk resources when they are to be saved.
    const UINT64 mask = args.Has("save-config") ? VM_PROP_VM_DISK_LIST : 0;
    SVMInfoLib vm;
    if (!guid.empty()) {
        std::string foundProject, foundRegion, foundZone;
        if (!cloud->SearchInstance(guid, "", mask, foundProject, foundRegion, foundZone, vm))
            return session.Fail("searching for the VM with GUID " + guid,
                                "no VM with GUID " + guid + " found");
        vm.projectId = foundProject;
    } else {
        if (!cloud->DoesVMExist(project, name, args.Value("zone"), vm) || vm.name.empty())
            return session.Fail("looking for VM " + name + " in project " + project,
                                "no VM named " + name + " found in project " + project);
        session.Mark();
        if (mask && !cloud->GetVMInfo(project, vm.name, "", vm.zone, vm, mask))
            return session.Fail("reading the disks of VM " + name);
        vm.projectId = project;
    }

    std::vector<SDiskInfoLib> disks;
    for (const SDiskInfoLib& disk : vm.disks)
        if (disk.type != "SCRATCH") disks.push_back(disk);  // local SSDs have no snapshots
    if (disks.empty()) return Complain(invocation, "VM " + vm.name + " has no persistent disk to snapshot");
    if (args.Has("save-config")) {
        std::string error;
        if (!SaveConfiguration(session, *cloud, vm, args.Value("save-config"), error)) {
            return error.empty() ? kExitFailure : Complain(invocation, error);
        }
    }

    // Every snapshot is requested before any is waited for, so that the disks are captured together; one
    // time for every disk, so that the snapshots of one backup share it.
    const std::time_t now = std::time(nullptr);
    const bool wait = !args.Has("no-wait");
    std::vector<Made> made;
    int result = kExitOk;
    for (const SDiskInfoLib& disk : disks) {
        Made entry;
        entry.disk = disk.name;
        entry.snapshot.name = SnapshotName(prefix, disk.name, now);
        entry.snapshot.sourceDisk = disk.name;
        if (result != kExitOk) {
            entry.snapshot.status = "not requested";
            made.push_back(entry);
            continue;
        }
        const std::string region = RegionOfDiskUrl(disk.source);
        session.Mark();
        if (!cloud->CreateDiskSnapshot(vm.projectId, disk.name, vm.zone, region, !region.empty(),
                                       args.Has("guest-flush"), entry.snapshot, false)) {
            result = session.Fail("snapshotting disk " + disk.name + " of VM " + vm.name);
            entry.snapshot.status = "FAILED";
        } else {
            entry.snapshot.status = "started";
            entry.requested = true;
        }
        made.push_back(entry);
    }
    if (wait)
        for (Made& entry : made)
            if (entry.requested && !FollowSnapshot(session, *cloud, vm.projectId, vm.name, entry))
                result = kExitFailure;

    if (invocation.Json()) {
        json_spirit::mObject object;
        object["vm"] = vm.name;
        object["vmId"] = vm.id;
        object["projectId"] = vm.projectId;
        object["zone"] = vm.zone;
        if (args.Has("save-config")) object["configDir"] = args.Value("save-config");
        json_spirit::mArray snapshots;
        for (const Made& entry : made) {
            json_spirit::mObject object = SnapshotObject(entry.snapshot);
            object["disk"] = entry.disk;
            snapshots.push_back(object);
        }
        object["snapshots"] = snapshots;
        object["complete"] = result == kExitOk;
        PrintJson(invocation, object);
        return result;
    }
    Table table({"DISK", "SNAPSHOT", "STATUS", "SIZE GB"});
    for (const Made& entry : made)
        table.AddRow(
            {entry.disk, entry.snapshot.name, entry.snapshot.status, SizeText(entry.snapshot.diskSizeGb)});
    if (table.RowCount() > 0) invocation.out << table.Render();
    if (args.Has("save-config") && result == kExitOk)
        Say(invocation, "configuration of " + vm.name + " saved in " + args.Value("save-config") +
                            " (instance.json, disk-<name>.json)");
    return result;
}

}  // namespace gcsdk
