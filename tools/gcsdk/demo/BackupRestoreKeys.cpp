// The demo's steps for encryption keys and disk labels (demo/BackupRestoreDemo.h).
#include <map>

#include "cli/KeyNames.h"
#include "cli/Labels.h"
#include "cli/Output.h"
#include "cli/Table.h"
#include "commands/Common.h"
#include "commands/DiskKeys.h"
#include "demo/BackupRestoreDemo.h"
#include "demo/KeyChecks.h"
#include "host/ZkJson.h"

namespace gcsdk {
namespace demo {

using namespace GoogleCloudSDKWrapper;

namespace {

// A key to make where the saved one is missing: the saved key's purpose, rotation and version template.
SKeyInfoLib KeyLike(const std::string& resource) {
    SKeyInfoLib key;
    json_spirit::mObject saved;
    if (!ZkJson::Unserialize(resource, saved)) return key;
    key.purpose = ZkJson::GetStringValue(saved, "purpose");
    key.rotationPeriod = ZkJson::GetStringValue(saved, "rotationPeriod");
    key.nextRotationTime = ZkJson::GetStringValue(saved, "nextRotationTime");
    if (const json_spirit::mObject* version = ZkJson::FindObject(saved, "versionTemplate")) {
        key.algorithm = ZkJson::GetStringValue(*version, "algorithm");
        key.protectionLevel = ZkJson::GetStringValue(*version, "protectionLevel");
    }
    return key;
}

}  // namespace

// 3. The keys of the disks as a backup keeps them (GetDiskEncryptionInfoJson: one request per key), each
// judged by the library; an HSM key of the same key ring is shown refused.
bool BackupRestoreDemo::CheckKeys(StepReport& report) {
    std::vector<DiskKey> keys;
    std::string what;
    if (!ReadDiskKeys(m_cloud, m_original.disks, keys, &m_keys, what)) return Failed(report, what);
    DiskKey refused;
    for (const DiskKey& key : keys) {
        report.details.push_back(DiskKeyText(key));
        KeyPath path;
        if (refused.keyPath.empty() && ParseKeyPath(key.keyPath, path)) {
            path.key = kHsmKey;
            std::string resource;
            if (!m_cloud.GetKeyInfoAsJson(path.Text(), resource))
                return Failed(report, "reading key " + path.Text());
            refused.disk = kHsmKey;
            refused.encrypted = true;
            JudgeKmsKey(m_cloud, path.Text(), resource, refused);
        }
    }
    if (!refused.keyPath.empty()) report.details.push_back(DiskKeyText(refused));
    report.failure = JudgeDiskKeys(keys, refused);
    if (!report.failure.empty()) return false;
    size_t kms = 0;
    for (const DiskKey& key : keys) kms += key.keyPath.empty() ? 0 : 1;
    report.facts = std::to_string(keys.size()) + " disks, " + std::to_string(kms) +
                   " with a Cloud KMS key, all supported; the " + refused.protectionLevel + " key " +
                   kHsmKey + " is refused (below)";
    return true;
}

// 4. A restore needs the keys the saved disks name. Here the restore goes back to the VM's own project,
// so they are found; elsewhere the key ring and the key (as saved) would be made.
bool BackupRestoreDemo::EnsureKeys(StepReport& report) {
    std::vector<std::string> done;
    const std::map<std::string, std::string> saved(m_keys.begin(), m_keys.end());  // in a steady order
    for (const auto& [keyText, resource] : saved) {
        std::string type, text;
        KeyPath path;
        if (!m_cloud.GetKeyTypeAndKeyPath(keyText, type, text) || !ParseKeyPath(text, path)) {
            report.failure = "the saved key " + keyText + " is not a Cloud KMS key path";
            return false;
        }
        const std::string ring = path.KeyRingText();
        if (m_cloud.CheckKeyRingExists(ring)) {
            done.push_back("key ring " + path.keyRing + " found");
        } else if (m_cloud.GetLastErrorCode() != "404") {
            return Failed(report, "reading key ring " + ring);
        } else if (!m_cloud.CreateKeyRing(path.project, path.location, path.keyRing)) {
            return Failed(report, "creating key ring " + ring);
        } else {
            done.push_back("key ring " + path.keyRing + " created");
        }
        SKeyInfoLib key;
        if (m_cloud.GetKeyInfoAsKey(path.Text(), key)) {
            done.push_back("key " + path.key + " found (" + key.state + ", " + key.protectionLevel +
                           ", rotation " + RotationPeriodText(key.rotationPeriod) + ")");
            continue;
        }
        if (m_cloud.GetLastErrorCode() != "404") return Failed(report, "reading key " + path.Text());
        if (!m_cloud.CreateKey(path.project, path.location, path.keyRing, path.key, KeyLike(resource)))
            return Failed(report, "creating key " + path.Text());
        done.push_back("key " + path.key + " created as it was saved");
    }
    if (done.empty()) {
        report.failure = "the backup saved no Cloud KMS key";
        return false;
    }
    report.facts = Join(done, ", ");
    return true;
}

// 9. Each restored disk gets a label naming the snapshot it came from, beside the labels it took from the
// saved disk. SetDiskLabels replaces the labels of the disk as read (its fingerprint); GetDiskLabels reads
// them back from Compute Engine.
bool BackupRestoreDemo::LabelDisks(StepReport& report) {
    size_t labelled = 0;
    for (const auto* restored : {&m_restoredDisks, &m_deployedDisks}) {
        for (const auto& [savedName, made] : *restored) {
            LabelList savedLabels;
            std::string region;
            for (const SDiskInfoLib& saved : m_original.disks)
                if (saved.name == savedName) {
                    savedLabels = LabelsOf(saved.labels);
                    region = RegionOfDiskUrl(saved.source);
                }
            const LabelList wanted =
                ChangedLabels(savedLabels, {{kRestoredFrom, m_snapshots[savedName]}}, {});
            SDiskInfoLib current;
            if (!m_cloud.GetDiskInfo(kProject, made.name, m_zone, region, !region.empty(), current, 0))
                return Failed(report, "reading disk " + made.name);
            if (!m_cloud.SetDiskLabels(kProject, current, m_zone, region, !region.empty(),
                                       LabelRecords(wanted)))
                return Failed(report, "labelling disk " + made.name);
            std::vector<SKeyValueInfoLib> after;
            if (!m_cloud.GetDiskLabels(kProject, made.name, m_zone, region, !region.empty(), after))
                return Failed(report, "reading the labels of disk " + made.name);
            const std::vector<std::string> differences = LabelDifferences(wanted, LabelsOf(after));
            if (!differences.empty()) {
                report.failure =
                    "the labels of disk " + made.name + " read back differ: " + Join(differences, "; ");
                return false;
            }
            report.details.push_back(made.name + ": " + LabelText(after));
            ++labelled;
        }
    }
    report.facts = std::to_string(labelled) + " disks labelled " + kRestoredFrom +
                   "=<snapshot>, each read back as set with the saved disk's labels (below)";
    return true;
}

}  // namespace demo
}  // namespace gcsdk
