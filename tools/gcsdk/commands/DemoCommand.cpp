// demo: a whole backup and restore of one VM through CGoogleCloudSDKWrapper (demo/BackupRestoreDemo.h),
// against gcemu started in this process with its default world.
#include <exception>
#include <ostream>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "cli/Credentials.h"
#include "cli/Output.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "demo/BackupRestoreDemo.h"
#include "demo/DatabaseSteps.h"
#include "demo/StepRunner.h"
#include "emulator/Emulator.h"
#include "host/HbDebug.h"
#include "host/ZKPlatformInfo.h"

namespace gcsdk {

namespace {

using namespace GoogleCloudSDKWrapper;
using demo::kAccount;
using demo::kProject;
using demo::kVm;
using demo::StepReport;

// Operations polled at once, instance creation retried at once: the demo waits for nothing.
const char kQuickSettings[] =
    "[VirtualServer]\n"
    "nGoogleCloudOperationWaitTime=0\n"
    "nGoogleSnapshotPollingInSecs=0\n"
    "nGoogleOperationRetryIntervalInSeconds=0\n";

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

        demo::StepRunner steps(invocation.out, invocation.Json(), emulator.journal(),
                               &emulator.connections());
        if (!invocation.Json())
            invocation.out << "gcemu (default world) on https://127.0.0.1:" << emulator.Port()
                           << "; backing up " << kVm << " of " << kProject
                           << " and restoring it twice, then its databases" << std::endl;
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
        demo::BackupRestoreDemo walkthrough(emulator, cloud);
        demo::DatabaseSteps databases(cloud);
        if (signedIn) {
            walkthrough.Run(steps);
            databases.Run(steps);
        }
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
    demo.summary = "Back up a VM and restore it twice, then copy a Spanner database, against gcemu";
    demo.usage = "[--state-dir DIR]";
    demo.description =
        "Starts gcemu with its default world on a free port of 127.0.0.1, signs in with a new\n"
        "service-account key and runs a whole backup and restore of secure-1 (its data disk encrypted with\n"
        "a Cloud KMS key) through the library, one line per step: finding it by GUID (a scan, then the GUID\n"
        "cache), snapshots of its disks, the keys of its disks read and checked (the SOFTWARE key\n"
        "supported, an HSM key refused), the key ring and key made sure of, disks restored from the\n"
        "snapshots with the same key, a restore with CreateInstance through an injected zone-exhaustion\n"
        "failure, a second restore kept in a bucket and deployed from it, the restored disks labelled\n"
        "with their snapshots and the labels read back, and a field-by-field comparison of both VMs with\n"
        "the original. Then the databases: the Cloud SQL instances of every project discovered, the Spanner\n"
        "database orders exported to a new bucket by a Dataflow job (the objects it wrote listed), and\n"
        "imported into a new database orders_restored. Needs no network and no credentials. Exit status 0\n"
        "when every step and comparison succeeded. With --json, one JSON object with the steps and the\n"
        "totals.";
    demo.options = {{"state-dir", "DIR",
                     "keep the emulator's files and the library's log here (default: a "
                     "temporary folder, removed)"}};
    demo.offline = true;
    demo.run = RunDemo;
    registry.Add(std::move(demo));
}

}  // namespace gcsdk
