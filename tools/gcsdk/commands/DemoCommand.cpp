// demo: a whole backup and restore of one VM through CGoogleCloudSDKWrapper, against gcemu started in
// this process with its default world. Read top to bottom, BackupRestoreDemo is a walkthrough of the
// library as a backup agent uses it:
//
//   1. find the VM by its GUID: a scan of every project, then the GUID cache
//   2. back it up: its configuration, and a snapshot of every disk
//   3. restore its disks from the snapshots (new names, same zones)
//   4. restore the VM onto them from its configuration, through one zone-exhaustion failure
//   5. keep a second restore's request body in a bucket, on disks restored again
//   6. deploy that second VM from the bucket
//   7. compare both restored VMs with the original, field by field
#include <ctime>
#include <exception>
#include <map>
#include <ostream>
#include <sstream>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "cli/Credentials.h"
#include "cli/Output.h"
#include "cli/Progress.h"
#include "cli/ResourceNames.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "demo/StepRunner.h"
#include "demo/VmComparison.h"
#include "emulator/ComputeOperations.h"
#include "emulator/Emulator.h"
#include "host/HbDebug.h"
#include "host/ZKPlatformInfo.h"

namespace gcsdk {

namespace {

using namespace GoogleCloudSDKWrapper;
using demo::StepReport;

constexpr char kAccount[] = "gcsdk-demo@gcemu-project-1.iam.gserviceaccount.com";
constexpr char kProject[] = "gcemu-project-1";
constexpr char kVm[] = "web-1";
constexpr char kRestored[] = "web-1-restored";  // restored at once
constexpr char kDeployed[] = "web-1-deployed";  // kept in a bucket, then deployed
constexpr char kBucket[] = "gcsdk-demo-restores";

// Operations polled at once, instance creation retried at once: the demo waits for nothing.
const char kQuickSettings[] =
    "[VirtualServer]\n"
    "nGoogleCloudOperationWaitTime=0\n"
    "nGoogleSnapshotPollingInSecs=0\n"
    "nGoogleOperationRetryIntervalInSeconds=0\n";

std::string Count(size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

class BackupRestoreDemo {
public:
    BackupRestoreDemo(gcemu::Emulator& emulator, CGoogleCloudSDKWrapper& cloud)
        : m_emulator(emulator), m_cloud(cloud) {}

    void Run(demo::StepRunner& steps) {
        steps.Run(std::string("find ") + kVm + " by its GUID", [&](StepReport& r) { return FindByGuid(r); });
        steps.Run(std::string("back up ") + kVm, [&](StepReport& r) { return BackUp(r); });
        steps.Run("restore its disks from the snapshots",
                  [&](StepReport& r) { return RestoreDisks(kRestored, m_restoredDisks, r); });
        steps.Run(std::string("restore ") + kRestored + " with CreateInstance",
                  [&](StepReport& r) { return RestoreVm(r); });
        steps.Run(std::string("keep the restore of ") + kDeployed + " in a bucket",
                  [&](StepReport& r) { return KeepInBucket(r); });
        steps.Run(std::string("deploy ") + kDeployed + " from the bucket",
                  [&](StepReport& r) { return Deploy(r); });
        steps.Run(std::string("compare both with ") + kVm, [&](StepReport& r) { return Compare(r); });
    }

private:
    // The library's reason for its last failure, as a step reports it.
    bool Failed(StepReport& report, const std::string& what) {
        report.failure = FailureText(what, m_cloud.GetLastError(), m_cloud.GetLastErrorCode());
        return false;
    }
    size_t Requests() const { return m_emulator.journal().size(); }

    // 1. The GUID comes from a listing (which also puts every listed VM in the GUID cache). A scan of
    // every project finds the VM without the cache; SearchInstance then goes straight to its zone.
    bool FindByGuid(StepReport& report) {
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
            report.failure = "the scan and search found " + found.name + " in " + project + ", not " + kVm +
                             " in " + kProject;
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
    bool BackUp(StepReport& report) {
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
            if (!m_cloud.CreateDiskSnapshot(kProject, disk.name, m_zone, region, !region.empty(), false,
                                            snapshot, true))
                return Failed(report, "snapshotting disk " + disk.name);
            m_snapshots[disk.name] = snapshot.name;
            made.push_back(disk.name + " -> " + snapshot.name + " (" + std::to_string(snapshot.diskSizeGb) +
                           " GB, " + snapshot.status + ")");
        }
        report.facts =
            "configuration saved (" + std::to_string(m_config.size()) + " bytes); " + Join(made, ", ");
        return true;
    }

    // 3 (and 5). One new disk per snapshot, named after the VM it is for, in the original's zone or
    // region; the saved disk resource gives its type, labels and replica zones.
    bool RestoreDisks(const std::string& vmName, std::map<std::string, SDiskInfoLib>& disks,
                      StepReport& report) {
        std::vector<std::string> made;
        for (const SDiskInfoLib& saved : m_original.disks) {
            const std::string region = RegionOfDiskUrl(saved.source);
            std::string snapshotUrl;
            if (!m_cloud.GetSnapshotUri(kProject, m_snapshots[saved.name], snapshotUrl))
                return Failed(report, "reading snapshot " + m_snapshots[saved.name]);
            SDiskInfoLib disk;
            disk.rawJson = saved.rawJson;
            // The boot disk takes the VM's name, as Compute Engine names boot disks.
            const std::string name = saved.boot ? vmName : vmName + "-" + saved.name;
            if (!m_cloud.CreateDiskFromSnapshot(kProject, snapshotUrl, name, m_zone, region, !region.empty(),
                                                saved.type, disk, true))
                return Failed(report, "creating disk " + name);
            disk.boot = saved.boot;
            disks[saved.name] = disk;
            made.push_back(name + " (" + std::to_string(disk.sizeGb) + " GB " + disk.type + ", " +
                           (region.empty() ? disk.zone : region) + ", " + disk.status + ")");
        }
        report.facts = Join(made, ", ");
        return true;
    }

    // The VM record a restore starts from: name, zone, machine type, and the new disks standing in for
    // the saved ones (overrides maps a saved disk's name to its replacement). The interface is the saved
    // network by URL, so that Compute Engine gives the copy an address of its own while the original
    // keeps running with its.
    SVMInfoLib RestoreRecord(const std::string& name, const std::map<std::string, SDiskInfoLib>& disks,
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

    // 4. CreateInstance fills the record from the saved configuration and creates the VM; the zone is
    // out of resources once, and the library sends the request again.
    bool RestoreVm(StepReport& report) {
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
        const size_t sent = m_emulator.journal().Count("POST", "",
                                                       std::string("/compute/v1/projects/") + kProject +
                                                           "/zones/" + m_zone + "/instances") -
                            inserts;

        const std::vector<std::string>& retries = progress.Retries();
        report.facts = m_restored.name + " " + m_restored.status + " in " + m_restored.zone + " on " +
                       Count(m_restored.disks.size(), "disk") + "; ";
        if (retries.size() == 1 && sent == 2) {
            report.facts += "retried once after " + retries.front();
            return retries.front() == gcemu::operation_errors::kZoneResourcePoolExhausted;
        }
        report.failure = "expected one retry after ZONE_RESOURCE_POOL_EXHAUSTED, saw " +
                         std::to_string(sent) + " inserts and retries after [" + Join(retries, ", ") + "]";
        return false;
    }

    // 5. DelayVMDeployment fills the record as CreateInstance does, but keeps the request body in a
    // bucket (made when missing) instead of sending it.
    bool KeepInBucket(StepReport& report) {
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

    // 6. DownloadVMInfoFromBucket reads the body back (and checks it is a VM); CreateInstanceFromJson
    // sends it as it is.
    bool Deploy(StepReport& report) {
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

    // 7. Both copies, read back by the library after creating them, against the original.
    bool Compare(StepReport& report) {
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
            report.failure = std::to_string(fields.size() - same) + " of " + Count(fields.size(), "field") +
                             " differ (below)";
            return false;
        }
        report.facts = "all " + Count(fields.size(), "field") + " the same on both";
        return true;
    }

    gcemu::Emulator& m_emulator;
    CGoogleCloudSDKWrapper& m_cloud;
    std::string m_guid;
    std::string m_zone;
    SVMInfoLib m_original;
    std::string m_config;                                 // the saved instance resource
    std::map<std::string, std::string> m_snapshots;       // disk name -> snapshot name
    std::map<std::string, SDiskInfoLib> m_restoredDisks;  // saved disk name -> its replacement
    std::map<std::string, SDiskInfoLib> m_deployedDisks;
    SVMInfoLib m_restored;
    SVMInfoLib m_deployed;
    std::string m_object;
};

int RunDemo(const Invocation& invocation) {
    const std::string& program = invocation.registry.Program();
    try {
        gcemu::EmulatorOptions options;
        options.stateDir = invocation.args.Value("state-dir");
        gcemu::Emulator emulator(options);
        emulator.Start();
        // PENDING, RUNNING, DONE: the library sees every operation under way once.
        emulator.operations().SetPollsUntilDone(2);

        // The library's settings point at the emulator; its log goes to a file, not between the lines.
        const std::string logFile = emulator.StateDir() + "/gcsdk.log";
        const std::string settings = emulator.WriteClientSettings(
            "", std::string(kQuickSettings) + "[GoogleCloud]\nsGuidCacheFile=" + emulator.StateDir() +
                    "/guidcache.db\nsLogFile=" + logFile + "\n");
        ZKPlatformInfo::SetSettingsFile(settings);
        host::ReloadLogSettings();

        // A fresh service-account key, read back from its JSON key file as any key would be.
        const gcemu::ServiceAccountKey key = emulator.MakeServiceAccount(kAccount);
        std::string keyText, email, privateKey, error;
        if (!ReadTextFile(key.jsonKeyFile, keyText, error) ||
            !ParseJsonKey(keyText, email, privateKey, error)) {
            invocation.err << program << ": the demo's key file: " << error << '\n';
            return kExitFailure;
        }

        demo::StepRunner steps(invocation.out, invocation.Json(), emulator.journal());
        if (!invocation.Json())
            invocation.out << "gcemu (default world) on https://127.0.0.1:" << emulator.Port()
                           << "; backing up " << kVm << " of " << kProject << " and restoring it twice"
                           << std::endl;
        CGoogleCloudSDKWrapper cloud;
        const bool signedIn = steps.Run("sign in", [&](StepReport& report) {
            if (!cloud.Init() || !cloud.Connect("", email, privateKey)) {
                report.failure =
                    FailureText("signing in as " + email, cloud.GetLastError(), cloud.GetLastErrorCode());
                return false;
            }
            report.facts = email + " with a new JSON key";
            return true;
        });
        BackupRestoreDemo walkthrough(emulator, cloud);
        if (signedIn) walkthrough.Run(steps);
        steps.PrintSummary(options.stateDir.empty()
                               ? "run '" + program + " demo --state-dir DIR' to keep the library's log"
                               : "the library's log: " + logFile);
        emulator.Stop();
        return steps.Succeeded() ? kExitOk : kExitFailure;
    } catch (const std::exception& error) {
        invocation.err << program << ": the demo: " << error.what() << '\n';
        return kExitFailure;
    }
}

}  // namespace

void AddDemoCommand(Registry& registry) {
    Command demo;
    demo.name = "demo";
    demo.summary = "Back up a VM and restore it twice, against gcemu started in this process";
    demo.usage = "[--state-dir DIR]";
    demo.description =
        "Starts gcemu with its default world on a free port of 127.0.0.1, signs in with a new "
        "service-account\n"
        "key and runs a whole backup and restore of web-1 through the library, one line per step: finding "
        "it\n"
        "by GUID (a scan, then the GUID cache), snapshots of its disks, disks restored from them, a restore\n"
        "with CreateInstance through an injected zone-exhaustion failure, a second restore kept in a bucket\n"
        "and deployed from it, and a field-by-field comparison of both with the original. Needs no network\n"
        "and no credentials. Exit status 0 when every step and comparison succeeded. With --json, one JSON\n"
        "object with the steps and the totals.";
    demo.options = {{"state-dir", "DIR",
                     "keep the emulator's files and the library's log here (default: a "
                     "temporary folder, removed)"}};
    demo.offline = true;
    demo.run = RunDemo;
    registry.Add(std::move(demo));
}

}  // namespace gcsdk
