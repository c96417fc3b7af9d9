// vm stop, start, delete, and config (the instance resource a restore takes back).
#include <ostream>

#include "Session.h"
#include "cli/Output.h"
#include "commands/Commands.h"
#include "commands/Common.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SDiskInfoLib;
using GoogleCloudSDKWrapper::SVMInfoLib;

enum class Change { kStop, kStart, kDelete };

int RunChange(const Invocation& invocation, Change change) {
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const ParsedArguments& args = invocation.args;
    const std::string project = args.Value("project"), name = args.Value("name"), zone = args.Value("zone");
    const char* verb = change == Change::kStop ? "stop" : change == Change::kStart ? "start" : "delete";
    // The library deletes the disks one by one and only logs a failure: the disks are checked after.
    const bool deleteDisks = change == Change::kDelete && args.Has("delete-disks");
    SVMInfoLib before;
    if (deleteDisks) {
        if (!cloud->DoesVMExist(project, name, zone, before) || before.name.empty())
            return session.Fail("looking for VM " + name + " in project " + project,
                                "no VM named " + name + " found in project " + project);
        session.Mark();
        if (!cloud->GetVMInfo(project, name, "", before.zone, before, VM_PROP_VM_DISK_LIST))
            return session.Fail("reading the disks of VM " + name);
    }
    const bool done = session.Follow(
        std::string(verb) + " " + name, std::string("the ") + (change == Change::kDelete ? "deletion" : verb),
        [&] {
            switch (change) {
                case Change::kStop:
                    return cloud->PowerOffInstance(project, name, "", zone);
                case Change::kStart:
                    return cloud->PowerOnInstance(project, name, "", zone);
                case Change::kDelete:
                    break;
            }
            return cloud->DeleteInstance(project, name, "", deleteDisks ? before.zone : zone, deleteDisks);
        });
    if (!done)
        return session.Fail(std::string(change == Change::kStop    ? "stopping"
                                        : change == Change::kStart ? "starting"
                                                                   : "deleting") +
                                " VM " + name + " of project " + project,
                            "no VM named " + name + " found in project " + project);
    if (deleteDisks) {
        std::vector<std::string> remaining;
        for (const SDiskInfoLib& disk : before.disks) {
            if (disk.type == "SCRATCH") continue;  // a local SSD goes with the VM
            const std::string region = RegionOfDiskUrl(disk.source);
            if (cloud->DoesDiskExist(project, disk.name, region.empty() ? before.zone : "", region,
                                     !region.empty()))
                remaining.push_back(disk.name);
        }
        if (!remaining.empty())
            return Complain(invocation, "VM " + name + " deleted, but not its disk" +
                                            (remaining.size() > 1 ? "s " : " ") + Join(remaining, ", "));
    }
    const char* state = change == Change::kStop    ? "stopped"
                        : change == Change::kStart ? "started"
                                                   : "deleted";
    Say(invocation, "VM " + name + " " + state +
                        (change == Change::kDelete && args.Has("delete-disks") ? ", with its disks" : ""));
    if (invocation.Json()) PrintJson(invocation, json_spirit::mObject{{"vm", name}, {state, true}});
    return kExitOk;
}

int RunConfig(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "name"})) return status;
    if (int status = RequireResourceName(invocation, "name")) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project"), name = invocation.args.Value("name");
    std::string zone = invocation.args.Value("zone");
    // The resource is read by zone; without one, the VM's zone is looked up first.
    if (zone.empty()) {
        SVMInfoLib vm;
        if (!cloud->DoesVMExist(project, name, "", vm) || vm.zone.empty())
            return session.Fail("looking for VM " + name + " in project " + project,
                                "no VM named " + name + " found in project " + project);
        zone = vm.zone;
    }
    std::string config;
    session.Mark();
    if (!cloud->GetInstanceConfigJson(project, name, "", zone, config))
        return session.Fail("reading the configuration of VM " + name + " in zone " + zone);
    // What the server sent, escape sequences included, is not for a terminal.
    if (invocation.outIsTerminal) config = TerminalSafeText(config);
    invocation.out << config << (config.empty() || config.back() != '\n' ? "\n" : "");
    invocation.out.flush();
    return kExitOk;
}

const std::vector<Option> kVmOptions = {
    {"project", "P", "project of the VM"},
    {"name", "NAME", "the VM's name"},
    {"zone", "Z", "the VM's zone (default: looked up in every zone of the project)"},
};

}  // namespace

void AddInstanceCommands(Registry& registry) {
    Command stop;
    stop.name = "vm stop";
    stop.summary = "Stop (power off) a VM";
    stop.usage = "--project P --name NAME [--zone Z]";
    stop.options = kVmOptions;
    stop.run = [](const Invocation& invocation) { return RunChange(invocation, Change::kStop); };
    registry.Add(std::move(stop));

    Command start;
    start.name = "vm start";
    start.summary = "Start (power on) a VM";
    start.usage = "--project P --name NAME [--zone Z]";
    start.options = kVmOptions;
    start.run = [](const Invocation& invocation) { return RunChange(invocation, Change::kStart); };
    registry.Add(std::move(start));

    Command remove;
    remove.name = "vm delete";
    remove.summary = "Delete a VM, and with --delete-disks every disk it had";
    remove.usage = "--project P --name NAME [--zone Z] [--delete-disks]";
    remove.description =
        "Without --delete-disks, the disks Compute Engine deletes with the VM (auto-delete) go, the others\n"
        "stay. A VM with deletion protection is refused.";
    remove.options = kVmOptions;
    remove.options.push_back({"delete-disks", "", "delete the VM's disks too"});
    remove.run = [](const Invocation& invocation) { return RunChange(invocation, Change::kDelete); };
    registry.Add(std::move(remove));

    Command config;
    config.name = "vm config";
    config.summary = "Print a VM's instance resource, the configuration a restore takes back";
    config.usage = "--project P --name NAME [--zone Z]";
    config.options = kVmOptions;
    config.run = RunConfig;
    registry.Add(std::move(config));
}

}  // namespace gcsdk
