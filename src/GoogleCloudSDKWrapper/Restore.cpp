// Restoring VMs from their saved configuration: now, or later from a request body kept in a bucket.
#include <algorithm>
#include <charconv>

#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

namespace {

const char kNodeGroupNameKey[] = "compute.googleapis.com/node-group-name";

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && JtString::CompareLeftNoCase(a, b) == 0;
}

// A one-character interface name n stands for the saved interface "nic<n-1>": 1 is nic0, 2 is nic1.
bool InterfaceMatches(const std::string& wanted, const std::string& saved) {
    if (wanted.size() != 1) return saved == wanted;
    if (saved.size() <= 3) return false;
    const std::string number = saved.substr(3);
    unsigned long index = 0;
    const char* end = number.data() + number.size();
    const auto [stop, error] = std::from_chars(number.data(), end, index);
    if (error != std::errc() || stop != end) return false;  // not a number, or too large for one
    return wanted == std::to_string(index + 1);
}

}  // namespace

bool CGoogleCloudSDKWrapper::FillVMInfo(const std::string& projectId, SVMInfoLib& vm,
                                        const std::string& configJson,
                                        const std::map<std::string, std::string>& overrides) {
    const std::pair<bool, const char*> checks[] = {
        {vm.name.empty(), "Instance name is empty."},
        {vm.zone.empty(), "Instance zone is empty."},
        {vm.machineType.empty(), "Instance machine type is empty."},
        {vm.disks.empty(), "Disk List is empty."}};
    for (const auto& [failed, message] : checks) {
        if (failed) {
            Debug(__PRETTY_FUNCTION__, "%s", message);
            return false;
        }
    }

    // A zone no project knows comes back without a region; going on would fail later, less clearly.
    if (vm.region.empty()) {
        SZoneInfoLib zone;
        if (!GetZoneInfo(projectId, vm.zone, "", zone, 0) || zone.region.empty()) {
            Debug(__PRETTY_FUNCTION__, "Cannot get region value for zone [%s].", vm.zone.c_str());
            return false;
        }
        vm.region = zone.region;
    }

    SMachineTypeInfoLib machineType;
    machineType.zone = vm.zone;
    if (!queries->GetMachineTypeInfo(projectId, vm.machineType, machineType, 0)) return false;
    vm.machineType = machineType.selfLink;
    vm.guestCpus = machineType.guestCpus;
    vm.memoryMb = machineType.memoryMb;

    SVMInfoLib saved;
    const bool parsed = parser->ParseObject(configJson, saved);
    // A configuration the reader gives up on half-way gives nothing: no disks and no interfaces either.
    if (!parsed) saved = SVMInfoLib();
    if (parsed) {
        vm.description = saved.description;
        vm.tags = saved.tags;
        vm.metadata = saved.metadata;
        vm.labels = saved.labels;
        vm.scheduling = saved.scheduling;
        vm.canIpForward = saved.canIpForward;
        vm.deletionProtection = saved.deletionProtection;
        vm.displayDevice = saved.displayDevice;
        vm.shieldedInstanceConfig = saved.shieldedInstanceConfig;
        vm.confidentialInstanceConfig = saved.confidentialInstanceConfig;
    }

    // A restored disk that replaces a saved one keeps the saved one's mode and auto-delete, and its
    // device name unless the caller gave one: the guest finds its disks by that name.
    for (SDiskInfoLib& disk : vm.disks) {
        for (const SDiskInfoLib& savedDisk : saved.disks) {
            auto replacement = overrides.find(savedDisk.name);
            if (replacement != overrides.end() && replacement->second == disk.name) {
                disk.mode = savedDisk.mode;
                disk.autoDelete = savedDisk.autoDelete;
                if (disk.deviceName.empty()) disk.deviceName = savedDisk.deviceName;
            }
        }
    }

    for (SNetworkInterfaceInfoLib& networkInterface : vm.networkInterfaces) {
        if (networkInterface.name.find("//") != std::string::npos) {
            networkInterface.network = networkInterface.name;
        } else {
            auto match = std::find_if(saved.networkInterfaces.begin(), saved.networkInterfaces.end(),
                                      [&](const SNetworkInterfaceInfoLib& candidate) {
                                          return InterfaceMatches(networkInterface.name, candidate.name);
                                      });
            if (match == saved.networkInterfaces.end()) {
                Debug(__PRETTY_FUNCTION__, "Nic info [%s] not found in config",
                      networkInterface.name.c_str());
                return false;
            }
            networkInterface.network = match->network;
            networkInterface.subnetwork = match->subnetwork;
            networkInterface.networkIP = match->networkIP;
        }
        DebugLvl(__PRETTY_FUNCTION__, 2, "Network : [%s]", networkInterface.network.c_str());
        DebugLvl(__PRETTY_FUNCTION__, 2, "Subnetwork : [%s]", networkInterface.subnetwork.c_str());
    }

    for (SDiskInfoLib& disk : vm.disks) {
        bool regional = disk.rawJson.find("replicaZones") != std::string::npos;
        bool read = regional ? GetDiskInfo(projectId, disk.name, "", vm.region, true, disk, 0)
                             : GetDiskInfo(projectId, disk.name, vm.zone, "", false, disk, 0);
        if (!read) return false;
    }
    std::stable_sort(vm.disks.begin(), vm.disks.end(), SDiskInfoLib::OSdiskSort);
    return true;
}

bool CGoogleCloudSDKWrapper::PrepareInstance(const char* tag, const std::string& projectId, SVMInfoLib& vm,
                                             const std::string& configJson, bool clearDeletionProtection,
                                             const std::map<std::string, std::string>& overrides,
                                             bool dropNodeAffinities) {
    Debug(tag, "Creating instance");
    if (!FillVMInfo(projectId, vm, configJson, overrides)) return false;
    if (clearDeletionProtection) vm.deletionProtection = false;
    std::vector<SNodeAffinityInfo>& affinities = vm.scheduling.nodeAffinities;
    if (!affinities.empty()) {
        if (dropNodeAffinities) {
            affinities.clear();
        } else if (!CheckValidNodeAffinities(projectId, vm.zone, vm.name, affinities)) {
            affinities.clear();
            Debug(tag, "No matching Node Affinity found for the Instance [%s]", vm.name.c_str());
        }
    }
    return true;
}

// The new instance has a GUID of its own, so it is read back by its name.
bool CGoogleCloudSDKWrapper::ReadBackCreatedInstance(const char* tag, const std::string& projectId,
                                                     SVMInfoLib& vm) {
    SVMInfoLib created;
    if (!queries->GetVMInfo(projectId, vm.name, "", vm.zone, created, VM_PROP_VM_DISK_LIST)) return false;
    vm = std::move(created);
    Debug(tag, "Instance created successfully");
    return true;
}

bool CGoogleCloudSDKWrapper::CreateInstance(const std::string& projectId, SVMInfoLib& vm,
                                            const std::string& configJson, bool clearDeletionProtection,
                                            const std::map<std::string, std::string>& overrides,
                                            bool dropNodeAffinities) {
    if (!PrepareInstance(__PRETTY_FUNCTION__, projectId, vm, configJson, clearDeletionProtection, overrides,
                         dropNodeAffinities))
        return false;
    if (!operations->CreateInstance(projectId, vm)) return false;
    return ReadBackCreatedInstance(__PRETTY_FUNCTION__, projectId, vm);
}

bool CGoogleCloudSDKWrapper::CreateInstanceFromJson(const std::string& projectId, const std::string& zone,
                                                    const std::string& json, SVMInfoLib& vm) {
    Debug(__PRETTY_FUNCTION__, "Creating instance");
    if (!parser->ParseObject(json, vm)) {
        Error(__PRETTY_FUNCTION__, "Failed to parse the VM configuration JSON [%s]", json.c_str());
        return false;
    }
    vm.zone = zone;
    if (!operations->CreateInstanceFromJson(projectId, json, vm)) {
        Error(__PRETTY_FUNCTION__, "Failed to create instance from JSON [%s]", json.c_str());
        return false;
    }
    return ReadBackCreatedInstance(__PRETTY_FUNCTION__, projectId, vm);
}

bool CGoogleCloudSDKWrapper::DelayVMDeployment(const std::string& projectId, const std::string& configJson,
                                               const std::string& bucket, const std::string& object,
                                               SVMInfoLib& vm, bool clearDeletionProtection,
                                               const std::map<std::string, std::string>& overrides,
                                               bool dropNodeAffinities) {
    Debug(__PRETTY_FUNCTION__, "Creating instance configuration JSON");
    if (!PrepareInstance(__PRETTY_FUNCTION__, projectId, vm, configJson, clearDeletionProtection, overrides,
                         dropNodeAffinities))
        return false;
    std::string body;
    if (!parser->GetRequestBody(vm, body)) {
        Debug(__PRETTY_FUNCTION__, "Failed to create VM configuration JSON for instance [%s]",
              vm.name.c_str());
        return false;
    }
    if (!CreateBucket(projectId, bucket)) return false;
    if (!operations->UploadObjectToBucket(projectId, bucket, object, body)) {
        Debug(__PRETTY_FUNCTION__, "Failed to upload the VM configuration JSON to the bucket (%s)",
              bucket.c_str());
        return false;
    }
    Debug(__PRETTY_FUNCTION__, "Instance configuration uploaded successfully");
    return true;
}

bool CGoogleCloudSDKWrapper::CreateBucket(const std::string& projectId, const std::string& bucket) {
    SStorageBucketInfoLib record;
    record.name = bucket;
    if (operations->DoesBucketExist(projectId, record)) return true;
    if (operations->CreateBucket(projectId, record)) return true;
    Debug(__PRETTY_FUNCTION__, "Failed to create the bucket [%s], error:[%s]", bucket.c_str(),
          errorState.errorMessage.c_str());
    return false;
}

bool CGoogleCloudSDKWrapper::DownloadVMInfoFromBucket(const std::string& projectId, const std::string& bucket,
                                                      const std::string& object, std::string& json) {
    SStorageBucketInfoLib record;
    record.name = bucket;
    if (!operations->DoesBucketExist(projectId, record)) {
        Error(__PRETTY_FUNCTION__, "Failed to find the bucket %s", bucket.c_str());
        return false;
    }
    if (!operations->DownloadObjectFromBucket(projectId, record, object, json)) {
        Error(__PRETTY_FUNCTION__, "Failed to download instance configuration (%s) from the bucket %s",
              object.c_str(), bucket.c_str());
        return false;
    }
    SVMInfoLib scratch;
    if (!parser->ParseObject(json, scratch)) {
        Error(__PRETTY_FUNCTION__, "Failed to parse the VM configuration JSON [%s]", json.c_str());
        // A failure says why: the object is there, but it is no VM configuration.
        operations->SetErrorMessage("The object [" + object + "] of the bucket [" + bucket +
                                    "] is not a VM configuration.");
        operations->SetErrorCode("INVALID_RESPONSE");
        return false;
    }
    return true;
}

bool CGoogleCloudSDKWrapper::GetVMSizeFromVMConfigJson(const std::string& projectId,
                                                       const std::string& configJson,
                                                       SMachineTypeInfoLib& machineType) {
    SVMInfoLib saved;
    if (!parser->ParseObject(configJson, saved)) {
        Error(__PRETTY_FUNCTION__, "Failed to parse VM Configuration JSON file");
        return false;
    }
    machineType.zone = saved.zone;
    if (!queries->GetMachineTypeInfo(projectId, saved.machineType, machineType, 0)) {
        Error(__PRETTY_FUNCTION__, "Failed to get MachineType info");
        return false;
    }
    return true;
}

std::string CGoogleCloudSDKWrapper::GetImageProjectId(const std::string& osDescription) {
    struct Row {
        std::vector<const char*> words;
        const char* imageProject;
    };
    // In this order: the first row with a word found in the description decides.
    static const Row kRows[] = {
        {{"Microsoft", "Windows"}, "windows-cloud"},
        {{"Red Hat", "rhel"}, "rhel-cloud"},
        {{"sles", "suse"}, "suse-cloud"},
        {{"ubuntu"}, "ubuntu-os-cloud"},
        {{"centos"}, "centos-cloud"},
        {{"fedora-coreos-cloud"}, "fedora-cloud"},
        {{"Linux"}, "centos-cloud"},
    };
    for (const Row& row : kRows)
        for (const char* word : row.words)
            if (JtString::FindString(osDescription, word, 1)) return row.imageProject;
    return std::string();
}

bool CGoogleCloudSDKWrapper::CheckValidNodeAffinities(const std::string& projectId, const std::string& zone,
                                                      const std::string& vmName,
                                                      std::vector<SNodeAffinityInfo> affinities) {
    for (const SNodeAffinityInfo& affinity : affinities) {
        if (EqualsNoCase(affinity.operator_, "NOT_IN") || !EqualsNoCase(affinity.key, kNodeGroupNameKey))
            continue;
        for (const std::string& nodeGroup : affinity.values) {
            if (queries->DoesNodeGroupExist(projectId, zone, nodeGroup)) {
                Debug(__PRETTY_FUNCTION__, "Matching Node Affinity [%s] found for the Instance [%s]",
                      nodeGroup.c_str(), vmName.c_str());
                return true;
            }
        }
    }
    return false;
}

}  // namespace GoogleCloudSDKWrapper
