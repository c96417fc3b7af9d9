// A backup agent's first steps with the library: sign in with a service-account key, find a VM by its
// GUID, and snapshot every disk of it, all requested before any is waited for so that they are taken
// together.
//
// usage: agent KEY_FILE VM_GUID [SNAPSHOT_PREFIX]
// With GCSDK_SETTINGS naming a settings file (gcemu writes one), the library goes where it says.
#include <GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h>
#include <GoogleCloudSDKWrapper/host/ZkJson.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace GoogleCloudSDKWrapper;

namespace {

int Fail(CGoogleCloudSDKWrapper& cloud, const std::string& what) {
    std::cerr << "agent: " << what << ": " << cloud.GetLastError() << " (" << cloud.GetLastErrorCode()
              << ")\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: agent KEY_FILE VM_GUID [SNAPSHOT_PREFIX]\n";
        return 2;
    }
    // A Google JSON key: its client_email and private_key are all the sign-in needs.
    std::ifstream file(argv[1]);
    std::ostringstream text;
    text << file.rdbuf();
    json_spirit::mObject key;
    if (!file || !ZkJson::Unserialize(text.str(), key)) {
        std::cerr << "agent: cannot read the key file " << argv[1] << '\n';
        return 2;
    }
    const std::string guid = argv[2];
    const std::string prefix = argc > 3 ? argv[3] : "agent-";

    CGoogleCloudSDKWrapper cloud;
    if (!cloud.Init()) std::cerr << "agent: no GUID cache: every search scans every project\n";
    if (!cloud.Connect("", ZkJson::GetStringValue(key, "client_email"),
                       ZkJson::GetStringValue(key, "private_key")))
        return Fail(cloud, "signing in");

    SVMInfoLib vm;
    std::string project, region, zone;
    if (!cloud.SearchInstance(guid, "", VM_PROP_VM_DISK_LIST, project, region, zone, vm))
        return Fail(cloud, "finding the VM " + guid);
    std::cout << "found " << vm.name << " in " << project << ", " << zone << '\n';

    std::vector<SSnapshotInfoLib> snapshots;
    for (const SDiskInfoLib& disk : vm.disks) {
        if (disk.type == "SCRATCH") continue;  // a local SSD has no snapshots
        const bool regional = disk.source.find("/regions/") != std::string::npos;
        SSnapshotInfoLib snapshot;
        snapshot.name = prefix + disk.name;
        if (!cloud.CreateDiskSnapshot(project, disk.name, zone, region, regional, false, snapshot, false))
            return Fail(cloud, "snapshotting " + disk.name);
        snapshots.push_back(snapshot);
    }
    // Each is read until it is READY (at most ten minutes).
    for (const SSnapshotInfoLib& snapshot : snapshots) {
        std::string status;
        for (int second = 0; status != "READY"; second += 2) {
            if (!cloud.GetSnapshotState(project, snapshot.name, status))
                return Fail(cloud, "reading snapshot " + snapshot.name);
            if (status == "FAILED" || (status != "READY" && second >= 600)) {
                std::cerr << "agent: snapshot " << snapshot.name << " is " << status << '\n';
                return 1;
            }
            if (status != "READY") std::this_thread::sleep_for(std::chrono::seconds(2));
        }
        std::cout << "snapshot " << snapshot.name << " READY\n";
    }
    return 0;
}
