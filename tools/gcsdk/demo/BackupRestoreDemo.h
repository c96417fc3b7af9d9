// The demo's walkthrough: a whole backup and restore of one VM through CGoogleCloudSDKWrapper, against
// gcemu with its default world. Read top to bottom, Run is the library as a backup agent uses it:
//
//   1. find the VM by its GUID: a scan of every project, then the GUID cache
//   2. back it up: its configuration, and a snapshot of every disk
//   3. check the encryption key of each disk: read from Cloud KMS and supported (an HSM key is not)
//   4. make sure the key rings and keys are there for the restore (made when missing)
//   5. restore its disks from the snapshots (new names, same zones, same keys)
//   6. restore the VM onto them from its configuration, through one zone-exhaustion failure
//   7. keep a second restore's request body in a bucket, on disks restored again
//   8. deploy that second VM from the bucket
//   9. label every restored disk with the snapshot it came from, and read the labels back
//  10. compare both restored VMs with the original, field by field
//
// secure-1 is the VM: its data disk is encrypted with a Cloud KMS key of protection level SOFTWARE.
#pragma once

#include <map>
#include <string>
#include <unordered_map>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "demo/StepRunner.h"
#include "emulator/Emulator.h"

namespace gcsdk {
namespace demo {

inline constexpr char kAccount[] = "gcsdk-demo@gcemu-project-1.iam.gserviceaccount.com";
inline constexpr char kProject[] = "gcemu-project-1";
inline constexpr char kVm[] = "secure-1";
inline constexpr char kRestored[] = "secure-1-restored";  // restored at once
inline constexpr char kDeployed[] = "secure-1-deployed";  // kept in a bucket, then deployed
inline constexpr char kBucket[] = "gcsdk-demo-restores";
inline constexpr char kHsmKey[] = "hsm-key";              // in the key ring of the VM's key: shown refused
inline constexpr char kRestoredFrom[] = "restored-from";  // the label naming a disk's snapshot

class BackupRestoreDemo {
public:
    BackupRestoreDemo(gcemu::Emulator& emulator, GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper& cloud)
        : m_emulator(emulator), m_cloud(cloud) {}

    // Every step, each after the one before it succeeded.
    void Run(StepRunner& steps);

private:
    using SDiskInfoLib = GoogleCloudSDKWrapper::SDiskInfoLib;
    using SVMInfoLib = GoogleCloudSDKWrapper::SVMInfoLib;

    bool Failed(StepReport& report, const std::string& what);
    size_t Requests() const;

    bool FindByGuid(StepReport& report);
    bool BackUp(StepReport& report);
    bool CheckKeys(StepReport& report);
    bool EnsureKeys(StepReport& report);
    bool RestoreDisks(const std::string& vmName, std::map<std::string, SDiskInfoLib>& disks,
                      StepReport& report);
    SVMInfoLib RestoreRecord(const std::string& name, const std::map<std::string, SDiskInfoLib>& disks,
                             std::map<std::string, std::string>& overrides) const;
    bool RestoreVm(StepReport& report);
    bool KeepInBucket(StepReport& report);
    bool Deploy(StepReport& report);
    bool LabelDisks(StepReport& report);
    bool Compare(StepReport& report);

    gcemu::Emulator& m_emulator;
    GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper& m_cloud;
    std::string m_guid;
    std::string m_zone;
    SVMInfoLib m_original;
    std::string m_config;                                 // the saved instance resource
    std::map<std::string, std::string> m_snapshots;       // disk name -> snapshot name
    std::unordered_map<std::string, std::string> m_keys;  // a disk's key text -> the key resource, saved
    std::map<std::string, SDiskInfoLib> m_restoredDisks;  // saved disk name -> its replacement
    std::map<std::string, SDiskInfoLib> m_deployedDisks;
    SVMInfoLib m_restored;
    SVMInfoLib m_deployed;
    std::string m_object;
};

}  // namespace demo
}  // namespace gcsdk
