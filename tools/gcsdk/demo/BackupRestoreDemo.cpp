#include "demo/BackupRestoreDemo.h"

#include <ctime>
#include <sstream>

#include "cli/Output.h"
#include "cli/Progress.h"
#include "cli/ResourceNames.h"
#include "commands/Common.h"
#include "demo/VmComparison.h"
#include "emulator/ComputeOperations.h"

namespace gcsdk {
namespace demo {

using namespace GoogleCloudSDKWrapper;

namespace {

std::string Count(size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// A disk's key as the demo shows it: a Cloud KMS key by its id, any other by its type alone (never the
// key itself); "none" without one.
std::string KeyName(const std::string& keyText) {
    if (keyText.empty()) return "none";
    const std::string type = keyText.substr(0, keyText.find(':'));
    return type == "kmsKeyName" ? LastSegment(keyText) : type;
}

}  // namespace

void BackupRestoreDemo::Run(StepRunner& steps) {
    steps.Run(std::string("find ") + kVm + " by its GUID", [&](StepReport& r) { return FindByGuid(r); });
    steps.Run(std::string("back up ") + kVm, [&](StepReport& r) { return BackUp(r); });
    steps.Run("check the keys of its disks", [&](StepReport& r) { return CheckKeys(r); });
    steps.Run(std::string("make sure the keys are there in ") + kProject,
              [&](StepReport& r) { return EnsureKeys(r); });
    steps.Run("restore its disks from the snapshots",
              [&](StepReport& r) { return RestoreDisks(kRestored, m_restoredDisks, r); });
    steps.Run(std::string("restore ") + kRestored + " with CreateInstance",
              [&](StepReport& r) { return RestoreVm(r); });
    steps.Run(std::string("keep the restore of ") + kDeployed + " in a bucket",
              [&](StepReport& r) { return KeepInBucket(r); });
    steps.Run(std::string("deploy ") + kDeployed + " from the bucket",
              [&](StepReport& r) { return Deploy(r); });
    steps.Run("label the restored disks with their snapshots", [&](StepReport& r) { return LabelDisks(r); });
    steps.Run(std::string("compare both with ") + kVm, [&](StepReport& r) { return Compare(r); });
}

// The library's reason for its last failure, as a step reports it.
bool BackupRestoreDemo::Failed(StepReport& report, const std::string& what) {
    report.failure = FailureText(what, m_cloud.GetLastError(), m_cloud.GetLastErrorCode());
    return false;
}
size_t BackupRestoreDemo::Requests() const {
    return m_emulator.journal().size();
}

// 1. The GUID comes from a listing (which also puts every listed VM in the GUID cache). A scan of
// every project finds the VM without the cache; SearchInstance then goes straight to its zone.
bool BackupRestoreDemo::FindByGuid(StepReport& report) {
    std::vector<SVMInfoLib> listed;
    if (!m_cloud.GetVMInfoListInProject(kProject, listed, 0)) return Failed(report, "listing VMs");
    for (const SVMInfoLib& vm : listed)
        if (vm.name == kVm) m_guid = vm.id;
    if (m_guid.empty()) {
        report.failure = std::string("no VM named ") + kVm + " in " + kProject;
        return false;
    }

    std::string project, region, zone;
    SVMInfoLib found;
    size_t before = Requests();
    if (!m_cloud.ScanInstanceByGuid(m_guid, 0, project, region, zone, found))
        return Failed(report, "scanning for GUID " + m_guid);
    const size_t scan = Requests() - before;

    before = Requests();
    if (!m_cloud.SearchInstance(m_guid, "", 0, project, region, zone, found))
        return Failed(report, "searching for GUID " + m_guid);
    const size_t cached = Requests() - before;
    m_zone = zone;
    report.facts = "GUID " + m_guid + " (from a listing); a scan of every project found " + found.name +
                   " in " + project + ", " + zone + " with " + Count(scan, "request") +
                   "; the GUID cache found it again with " + Count(cached, "request");
    if (found.name != kVm || project != kProject) {
        report.failure =
            "the scan and search found " + found.name + " in " + project + ", not " + kVm + " in " + kProject;
        return false;
    }
    // The point of the cache: one request to the VM's zone instead of a scan.
    if (cached != 1 || cached >= scan) {
        report.failure = "the GUID cache saved nothing: the search took " + Count(cached, "request") +
                         ", the scan " + Count(scan, "request");
        return false;
    }
    return true;
}

// 2. What a restore needs: the instance resource, each disk's resource, and a snapshot of each disk.
bool BackupRestoreDemo::BackUp(StepReport& report) {
    if (!m_cloud.GetVMInfo(kProject, kVm, "", m_zone, m_original, VM_PROP_VM_DISK_LIST))
        return Failed(report, std::string("reading ") + kVm);
    if (!m_cloud.GetInstanceConfigJson(kProject, kVm, "", m_zone, m_config))
        return Failed(report, std::string("reading the configuration of ") + kVm);

    const std::time_t now = std::time(nullptr);
    std::vector<std::string> made;
    for (const SDiskInfoLib& disk : m_original.disks) {
        const std::string region = RegionOfDiskUrl(disk.source);  // "/regions/" in a regional disk's URL
        SSnapshotInfoLib snapshot;
        snapshot.name = SnapshotName("demo-", disk.name, now);
        if (!m_cloud.CreateDiskSnapshot(kProject, disk.name, m_zone, region, !region.empty(), false, snapshot,
                                        true))
            return Failed(report, "snapshotting disk " + disk.name);
        m_snapshots[disk.name] = snapshot.name;
        made.push_back(disk.name + " -> " + snapshot.name + " (" + std::to_string(snapshot.diskSizeGb) +
                       " GB, " + snapshot.status + ")");
    }
    report.facts = "configuration saved (" + std::to_string(m_config.size()) + " bytes); " + Join(made, ", ");
    return true;
}

// 5 (and 7). One new disk per snapshot, named after the VM it is for, in the original's zone or
// region; the saved disk resource gives its type, labels and replica zones, the saved record its key.
bool BackupRestoreDemo::RestoreDisks(const std::string& vmName, std::map<std::string, SDiskInfoLib>& disks,
                                     StepReport& report) {
    std::vector<std::string> made;
    for (const SDiskInfoLib& saved : m_original.disks) {
        const std::string region = RegionOfDiskUrl(saved.source);
        std::string snapshotUrl;
        if (!m_cloud.GetSnapshotUri(kProject, m_snapshots[saved.name], snapshotUrl))
            return Failed(report, "reading snapshot " + m_snapshots[saved.name]);
        SDiskInfoLib disk;
        disk.rawJson = saved.rawJson;
        // The library takes the key from the record, not from the saved resource.
        disk.isEncrypted = saved.isEncrypted;
        disk.encryptionKey = saved.encryptionKey;
        // The boot disk takes the VM's name, as Compute Engine names boot disks.
        const std::string name = saved.boot ? vmName : vmName + "-" + saved.name;
        if (!m_cloud.CreateDiskFromSnapshot(kProject, snapshotUrl, name, m_zone, region, !region.empty(),
                                            saved.type, disk, true))
            return Failed(report, "creating disk " + name);
        disk.boot = saved.boot;
        disks[saved.name] = disk;
        // As read back: the same key as the saved disk, or none when it had none.
        if (disk.encryptionKey != saved.encryptionKey) {
            report.failure = "disk " + name + " was made with the key '" + KeyName(disk.encryptionKey) +
                             "', not with '" + KeyName(saved.encryptionKey) + "' as " + saved.name;
            return false;
        }
        made.push_back(name + " (" + std::to_string(disk.sizeGb) + " GB " + disk.type + ", " +
                       (region.empty() ? disk.zone : region) + ", " + disk.status +
                       (saved.encryptionKey.empty() ? "" : ", key " + KeyName(saved.encryptionKey)) + ")");
    }
    report.facts = Join(made, ", ");
    return true;
}

// The VM record a restore starts from: name, zone, machine type, and the new disks standing in for
// the saved ones (overrides maps a saved disk's name to its replacement). The interface is the saved
// network by URL, so that Compute Engine gives the copy an address of its own while the original
// keeps running with its.
GoogleCloudSDKWrapper::SVMInfoLib BackupRestoreDemo::RestoreRecord(
    const std::string& name, const std::map<std::string, SDiskInfoLib>& disks,
    std::map<std::string, std::string>& overrides) const {
    SVMInfoLib vm;
    vm.name = name;
    vm.zone = m_zone;
    vm.machineType = m_original.machineType;
    for (const auto& [savedName, disk] : disks) {
        vm.disks.push_back(disk);
        overrides[savedName] = disk.name;
    }
    for (const SNetworkInterfaceInfoLib& saved : m_original.networkInterfaces) {
        SNetworkInterfaceInfoLib nic;
        nic.name = saved.network;
        vm.networkInterfaces.push_back(nic);
    }
    return vm;
}

// 6. CreateInstance fills the record from the saved configuration and creates the VM; the zone is
// out of resources once, and the library sends the request again.
bool BackupRestoreDemo::RestoreVm(StepReport& report) {
    m_emulator.operations().AddFault(gcemu::OperationFault::Of(
        gcemu::operation_errors::kZoneResourcePoolExhausted, "insert",
        std::string("projects/") + kProject + "/zones/" + m_zone + "/instances/" + kRestored, 1));
    std::map<std::string, std::string> overrides;
    m_restored = RestoreRecord(kRestored, m_restoredDisks, overrides);
    const size_t inserts = m_emulator.journal().Count(
        "POST", "", std::string("/compute/v1/projects/") + kProject + "/zones/" + m_zone + "/instances");
    // Progress, quiet, only to hear the retries from the library's log.
    std::ostringstream nowhere;
    Progress progress(nowhere, Progress::Mode::kQuiet, kRestored);
    const bool created = m_cloud.CreateInstance(kProject, m_restored, m_config, false, overrides, false);
    progress.Finish(created);
    if (!created) return Failed(report, std::string("creating ") + kRestored);
    const size_t sent =
        m_emulator.journal().Count(
            "POST", "", std::string("/compute/v1/projects/") + kProject + "/zones/" + m_zone + "/instances") -
        inserts;

    const std::vector<std::string>& retries = progress.Retries();
    report.facts = m_restored.name + " " + m_restored.status + " in " + m_restored.zone + " on " +
                   Count(m_restored.disks.size(), "disk") + "; ";
    if (retries.size() == 1 && sent == 2) {
        report.facts += "retried once after " + retries.front();
        return retries.front() == gcemu::operation_errors::kZoneResourcePoolExhausted;
    }
    report.failure = "expected one retry after ZONE_RESOURCE_POOL_EXHAUSTED, saw " + std::to_string(sent) +
                     " inserts and retries after [" + Join(retries, ", ") + "]";
    return false;
}

// 7. DelayVMDeployment fills the record as CreateInstance does, but keeps the request body in a
// bucket (made when missing) instead of sending it.
bool BackupRestoreDemo::KeepInBucket(StepReport& report) {
    StepReport disks;
    if (!RestoreDisks(kDeployed, m_deployedDisks, disks)) {
        report.failure = disks.failure;
        return false;
    }
    std::map<std::string, std::string> overrides;
    SVMInfoLib vm = RestoreRecord(kDeployed, m_deployedDisks, overrides);
    m_object = std::string(kDeployed) + ".json";
    if (!m_cloud.DelayVMDeployment(kProject, m_config, kBucket, m_object, vm, false, overrides, false))
        return Failed(report, std::string("keeping the restore of ") + kDeployed);
    report.facts = "disks " + disks.facts + "; request body kept in gs://" + kBucket + "/" + m_object;
    return true;
}

// 8. DownloadVMInfoFromBucket reads the body back (and checks it is a VM); CreateInstanceFromJson
// sends it as it is.
bool BackupRestoreDemo::Deploy(StepReport& report) {
    std::string body;
    if (!m_cloud.DownloadVMInfoFromBucket(kProject, kBucket, m_object, body))
        return Failed(report, "reading gs://" + std::string(kBucket) + "/" + m_object);
    if (!m_cloud.CreateInstanceFromJson(kProject, m_zone, body, m_deployed))
        return Failed(report, std::string("creating ") + kDeployed);
    report.facts = "read the body back (" + std::to_string(body.size()) + " bytes); " + m_deployed.name +
                   " " + m_deployed.status + " in " + m_deployed.zone + " on " +
                   Count(m_deployed.disks.size(), "disk");
    return true;
}

// 10. Both copies, read back by the library after creating them, against the original.
bool BackupRestoreDemo::Compare(StepReport& report) {
    const std::vector<SVMInfoLib> copies = {m_restored, m_deployed};
    const std::vector<demo::FieldComparison> fields = demo::CompareVms(m_original, copies);
    size_t same = 0;
    for (const demo::FieldComparison& field : fields) same += field.same ? 1 : 0;
    report.details = demo::ComparisonLines(m_original, copies, fields);
    const std::vector<std::string> lost = demo::NotCarriedOver(m_original, copies);
    if (!lost.empty())
        report.details.push_back("not carried over by the library's restore (not compared): " +
                                 Join(lost, ", "));
    if (same != fields.size()) {
        report.failure =
            std::to_string(fields.size() - same) + " of " + Count(fields.size(), "field") + " differ (below)";
        return false;
    }
    report.facts = "all " + Count(fields.size(), "field") + " the same on both";
    return true;
}

}  // namespace demo
}  // namespace gcsdk
