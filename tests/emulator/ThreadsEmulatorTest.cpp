// Facade objects on several threads at once against one gcemu: each signs in, discovers (projects, a
// zone's VMs with their GUIDs cached, a VM by name) and snapshots its VM's boot disk. The facades share
// only the host services (one log file, the settings, the GUID cache) and the emulator.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/ComputeModel.h"
#include "host/HbDebug.h"
#include "tests/support/EmulatorFixture.h"
#include "tests/support/TempDir.h"

namespace {

using namespace GoogleCloudSDKWrapper;

constexpr char kProject[] = "gcemu-project-1";

struct Vm {
    const char* name;
    const char* zone;
};

// One thread's run; empty when every step succeeded, else the step and the facade's last error.
std::string DiscoverAndSnapshot(const Vm& target, const std::string& snapshotName, const std::string& email,
                                const std::string& key) {
    CGoogleCloudSDKWrapper wrapper;
    const auto failed = [&wrapper](const std::string& step) {
        return step + ": [" + wrapper.GetLastErrorCode() + "] " + wrapper.GetLastError();
    };
    if (!wrapper.Init()) return failed("Init");
    if (!wrapper.Connect("", email, key)) return failed("Connect");
    std::vector<SProjectInfoLib> projects;
    if (!wrapper.ListProjects(projects) || projects.empty()) return failed("ListProjects");
    std::vector<SVMInfoLib> inZone;
    if (!wrapper.GetVMInfoListInZone(kProject, target.zone, inZone, 0) || inZone.empty())
        return failed("GetVMInfoListInZone");
    SVMInfoLib vm;
    if (!wrapper.GetVMInfo(kProject, target.name, "", target.zone, vm, VM_PROP_VM_DISK_LIST))
        return failed("GetVMInfo");
    if (vm.name != target.name || vm.disks.empty()) return "GetVMInfo: found [" + vm.name + "]";
    const SDiskInfoLib& boot = vm.disks.front();
    SSnapshotInfoLib snapshot;
    snapshot.name = snapshotName;
    if (!wrapper.CreateDiskSnapshot(kProject, boot.name, vm.zone, vm.region, false, true, snapshot, true))
        return failed("CreateDiskSnapshot");
    if (snapshot.status != "READY") return "CreateDiskSnapshot: status [" + snapshot.status + "]";
    return "";
}

class ThreadsEmulatorTest : public testsupport::EmulatorTest {};

TEST_F(ThreadsEmulatorTest, EightFacadesDiscoverAndSnapshotAtOnce) {
    const Vm vms[] = {{"web-1", "us-central1-a"},     {"web-2", "us-central1-b"},
                      {"web-3", "europe-west4-a"},    {"web-dev-1", "us-central1-c"},
                      {"db-1", "us-central1-a"},      {"db-2", "us-central1-b"},
                      {"win-app-1", "us-central1-a"}, {"unlabelled-1", "europe-west4-b"}};
    constexpr size_t kThreads = sizeof vms / sizeof vms[0];
    static_assert(kThreads == 8, "eight facades");
    // Every line of every thread, debug level 2 included, into one log file.
    const testsupport::TempDir logDir;
    UseSettings("[GoogleCloud]\nnLogLevel=2\nsLogFile=" + logDir.File("gcsdk.log") + "\n");
    std::vector<std::string> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            outcomes[i] =
                DiscoverAndSnapshot(vms[i], "threads-" + std::to_string(i), Key().email, Key().privateKeyPem);
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (size_t i = 0; i < kThreads; ++i) EXPECT_EQ("", outcomes[i]) << vms[i].name;
    for (size_t i = 0; i < kThreads; ++i) {
        const std::string snapshot =
            "projects/" + std::string(kProject) + "/global/snapshots/threads-" + std::to_string(i);
        EXPECT_EQ("READY", WorldValue(gcemu::collections::kSnapshots, snapshot, "status")) << snapshot;
        const std::string source = WorldValue(gcemu::collections::kSnapshots, snapshot, "sourceDisk");
        EXPECT_EQ(gcemu::ComputeUrl(std::string("projects/") + kProject + "/zones/" + vms[i].zone +
                                    "/disks/" + vms[i].name),
                  source)
            << "its own VM's boot disk";
    }
    EXPECT_EQ(kThreads,
              Requests("POST", "compute.googleapis.com", "/compute/v1/projects/gcemu-project-1/zones/"))
        << "one snapshot request each";
    EXPECT_EQ(kThreads, Requests("POST", "www.googleapis.com", "/oauth2/")) << "one sign-in each";

    // Whole lines only, each with its thread: "2024-01-02T03:04:05.678Z [pid:tid] LEVEL tag: message".
    host::ReloadLogSettings();  // closes the file
    const std::regex line(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \[\d+:(\d+)\] (ERROR|INFO|DEBUG|DEBUG2) .*)");
    std::istringstream log(testsupport::ReadFile(logDir.File("gcsdk.log")));
    std::set<std::string> loggingThreads;
    size_t lines = 0;
    for (std::string text; std::getline(log, text);) {
        std::smatch match;
        // A message may hold line breaks (a response body); a line of its own never starts like a log line.
        if (!std::regex_match(text, match, line)) continue;
        loggingThreads.insert(match[1]);
        ++lines;
    }
    EXPECT_GT(lines, 8 * kThreads);
    EXPECT_GE(loggingThreads.size(), kThreads);
}

}  // namespace
