// vms: VMs by project, project pattern, zone, region or label; find: one VM by GUID or by name.
#include <algorithm>
#include <tuple>

#include "Session.h"
#include "cli/Output.h"
#include "cli/ResourceNames.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "host/CFilterTerm.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::SVMInfoLib;

const std::vector<std::string> kVmHeaders = {"NAME", "ZONE",    "STATUS", "MACHINE TYPE",
                                             "GUID", "PROJECT", "LABELS"};

std::vector<std::string> VmRow(const SVMInfoLib& vm) {
    return {vm.name, vm.zone, vm.status, vm.machineType, vm.id, vm.projectId, LabelText(vm.labels)};
}

int PrintVms(const Invocation& invocation, std::vector<SVMInfoLib>& vms,
             const std::vector<FailedPlace>& failures) {
    std::stable_sort(vms.begin(), vms.end(), [](const SVMInfoLib& a, const SVMInfoLib& b) {
        return std::tie(a.projectId, a.zone, a.name) < std::tie(b.projectId, b.zone, b.name);
    });
    return PrintList<SVMInfoLib>(invocation, vms, "VMs", kVmHeaders, VmRow, VmObject, failures);
}

int RunVms(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    const int places = static_cast<int>(args.Has("zone")) + args.Has("region") + args.Has("label");
    if (places > 1) return invocation.UsageError("give at most one of --zone, --region and --label");
    if (args.Has("project") && args.Has("project-pattern"))
        return invocation.UsageError("give --project or --project-pattern, not both");
    const std::string pattern =
        args.Has("project-pattern") ? args.Value("project-pattern") : args.Value("project");
    if (places > 0 && CFilterTerm::IsWildcardItem(pattern))
        return invocation.UsageError("--zone, --region and --label take an exact --project, not a pattern");
    std::string labelKey, labelValue;
    if (args.Has("label")) {
        const std::string label = args.Value("label");
        const size_t equals = label.find('=');
        if (equals == std::string::npos || equals == 0)
            return invocation.UsageError("--label takes KEY=VALUE, got '" + TerminalSafe(label) + "'");
        labelKey = label.substr(0, equals);
        labelValue = label.substr(equals + 1);
    }
    for (const auto& [option, text] :
         {std::pair<const char*, std::string>{args.Has("project-pattern") ? "--project-pattern" : "--project",
                                              pattern},
          {"--label", labelKey},
          {"--label", labelValue}}) {
        std::string error;
        if (!IsWellFormedPattern(text, error))
            return invocation.UsageError(std::string(option) + " '" + TerminalSafe(args.Value(option + 2)) +
                                         "' is not a pattern: " + error);
    }

    Session session(invocation);
    int status = kExitOk;
    auto* cloud = session.Connect(status);
    if (!cloud) return status;

    std::vector<SVMInfoLib> vms;
    std::string what = "listing VMs" + (pattern.empty() ? "" : " of " + pattern);
    bool listed;
    if (args.Has("zone")) {
        what += " in zone " + args.Value("zone");
        listed = cloud->GetVMInfoListInZone(pattern, args.Value("zone"), vms, 0);
    } else if (args.Has("region")) {
        what += " in region " + args.Value("region");
        listed = cloud->GetVMInfoListInRegion(pattern, args.Value("region"), "", vms, 0);
    } else if (args.Has("label")) {
        what += " labelled " + args.Value("label");
        listed = cloud->GetVMInfoListByLabel(pattern, labelKey, labelValue, vms, 0);
    } else if (!pattern.empty()) {
        listed = cloud->GetVMInfoListInProject(pattern, vms, 0);
    } else {
        listed = cloud->GetVMInfoList(vms, 0);
    }
    // The library skips a zone or region whose list failed and still succeeds: its log tells which.
    const std::vector<FailedPlace> failures = listed ? session.FailedPlaces() : std::vector<FailedPlace>();
    if (failures.empty() && !session.Listed(listed, vms.empty())) return session.Fail(what);
    return PrintVms(invocation, vms, failures);
}

int PrintFound(const Invocation& invocation, SVMInfoLib vm, const std::string& project,
               const std::string& region, const std::string& zone) {
    if (!project.empty()) vm.projectId = project;
    if (!region.empty()) vm.region = region;
    if (!zone.empty()) vm.zone = zone;
    if (invocation.Json()) {
        PrintJson(invocation, VmObject(vm));
        return kExitOk;
    }
    Table table;
    table.AddRow({"PROJECT", vm.projectId});
    table.AddRow({"REGION", vm.region});
    table.AddRow({"ZONE", vm.zone});
    table.AddRow({"NAME", vm.name});
    table.AddRow({"GUID", vm.id});
    table.AddRow({"STATUS", vm.status});
    table.AddRow({"MACHINE TYPE", vm.machineType});
    table.AddRow({"LABELS", LabelText(vm.labels)});
    PrintTable(invocation, table, "VM");
    return kExitOk;
}

int RunFind(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    const std::string guid = args.Value("guid"), name = args.Value("name"), project = args.Value("project");
    if (guid.empty() && name.empty())
        return invocation.UsageError("give --guid ID, or --name NAME --project P");
    if (!guid.empty() && (args.Has("project") || args.Has("zone")))
        return invocation.UsageError(
            "--project and --zone go with --name alone; --guid searches every project");
    if (guid.empty() && project.empty())
        return invocation.UsageError("--name needs --project (or give --guid)");
    if (CFilterTerm::IsWildcardItem(project) || project.find('[') != std::string::npos)
        return invocation.UsageError("--project takes an exact project id");
    if (!guid.empty() && !IsGuid(guid))
        return invocation.UsageError("--guid '" + TerminalSafe(guid) +
                                     "' is not a VM GUID (a decimal number)");
    if (!name.empty())
        if (int status = RequireResourceName(invocation, "name")) return status;

    Session session(invocation);
    int status = kExitOk;
    auto* cloud = session.Connect(status);
    if (!cloud) return status;

    SVMInfoLib vm;
    if (!guid.empty()) {
        std::string foundProject, foundRegion, foundZone;
        if (!cloud->SearchInstance(guid, name, 0, foundProject, foundRegion, foundZone, vm))
            return session.Fail("searching for the VM with GUID " + guid,
                                "no VM with GUID " + guid + " found");
        return PrintFound(invocation, vm, foundProject, foundRegion, foundZone);
    }
    // The library may succeed with an empty record when no VM has the name.
    if (!cloud->DoesVMExist(project, name, args.Value("zone"), vm) || vm.name.empty())
        return session.Fail("looking for VM " + name + " in project " + project,
                            "no VM named " + name + " found in project " + project);
    return PrintFound(invocation, vm, project, "", "");
}

}  // namespace

void AddVmCommands(Registry& registry) {
    Command vms;
    vms.name = "vms";
    vms.summary = "List VMs: all of them, or by project, zone, region or label";
    vms.usage = "[--project P | --project-pattern PATTERN] [--zone Z | --region R | --label KEY=VALUE]";
    vms.description =
        "Without options, every VM of every project the account can see. A project pattern, label key or\n"
        "label value may hold the wildcards '*', '?' and '[...]': a pattern is matched here, without regard\n"
        "to case. A label with no wildcard goes to Compute Engine as it is, which compares it exactly (case\n"
        "included). A list in which some projects, zones or regions could not be listed names them on\n"
        "stderr and exits 3; with --json it is then {\"items\": [...], \"failures\": [...]}.";
    vms.options = {
        {"project", "P", "VMs of this project (a pattern works as with --project-pattern)"},
        {"project-pattern", "PATTERN", "VMs of the projects whose id matches, e.g. 'prod-*'"},
        {"zone", "Z", "VMs in this zone"},
        {"region", "R", "VMs in this region"},
        {"label", "KEY=VALUE", "VMs with this label (one: the library matches one key and value)"},
    };
    vms.run = RunVms;
    registry.Add(std::move(vms));

    Command find;
    find.name = "find";
    find.summary = "Find one VM by GUID (any project) or by name (in a project)";
    find.usage = "--guid ID [--name NAME] | --name NAME --project P [--zone Z]";
    find.description =
        "By GUID: the location remembered in the GUID cache first, then every visible project; the name,\n"
        "when given, finds a VM recreated under a new GUID where the old one was. By name: the given zone\n"
        "first, then every zone of the project.";
    find.options = {
        {"guid", "ID", "the VM's GUID (its numeric id)"},
        {"name", "NAME", "the VM's name"},
        {"project", "P", "project to look in, with --name"},
        {"zone", "Z", "zone to look in first, with --name"},
    };
    find.run = RunFind;
    registry.Add(std::move(find));
}

}  // namespace gcsdk
