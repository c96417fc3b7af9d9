// The body of an instance insert: a filled VM record (machine type as URL, disks and interfaces
// complete) as the instance resource Compute Engine expects.
#include <strings.h>

#include <algorithm>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudParser/MappingHelpers.h"

namespace GoogleCloudSDKWrapper {

namespace {

mArray StringArray(const std::vector<std::string>& strings) {
    return mArray(strings.begin(), strings.end());
}

mObject AttachedDisk(const SDiskInfoLib& disk) {
    mObject out;
    if (!disk.source.empty()) out["source"] = disk.source;
    if (!disk.mode.empty()) out["mode"] = disk.mode;
    out["autoDelete"] = disk.autoDelete;
    if (!disk.sourceImage.empty()) out["initializeParams"] = mObject{{"sourceImage", disk.sourceImage}};
    if (!disk.name.empty()) out["name"] = disk.name;
    // Without it Compute Engine names the disk persistent-disk-N, and a guest that mounts by
    // /dev/disk/by-id/google-<device name> loses the disk.
    if (!disk.deviceName.empty()) out["deviceName"] = disk.deviceName;
    out["boot"] = disk.boot;
    return out;
}

mObject NetworkInterface(const SNetworkInterfaceInfoLib& networkInterface) {
    mObject out;
    out["network"] = networkInterface.network;
    if (!networkInterface.subnetwork.empty()) out["subnetwork"] = networkInterface.subnetwork;
    // Without an address Compute Engine assigns one; creation retries that way after an address conflict.
    if (!networkInterface.networkIP.empty()) out["networkIP"] = networkInterface.networkIP;
    if (!networkInterface.accessConfigs.empty()) {
        mArray configs;
        for (const SAccessConfigInfo& config : networkInterface.accessConfigs)
            configs.push_back(mObject{{"name", config.name}, {"type", config.type}});
        out["accessConfigs"] = configs;
    }
    return out;
}

mObject Scheduling(const SSchedulingInfoLib& scheduling) {
    mObject out;
    if (!scheduling.onHostMaintenance.empty()) out["onHostMaintenance"] = scheduling.onHostMaintenance;
    out["automaticRestart"] = scheduling.automaticRestart;
    out["preemptible"] = scheduling.preemptible;
    if (!scheduling.nodeAffinities.empty()) {
        mArray affinities;
        for (const SNodeAffinityInfo& affinity : scheduling.nodeAffinities)
            affinities.push_back(mObject{{"key", affinity.key},
                                         {"operator", affinity.operator_},
                                         {"values", StringArray(affinity.values)}});
        out["nodeAffinities"] = affinities;
    }
    return out;
}

// Shielded VM settings are refused for an image that cannot boot with UEFI.
bool AnyUefiDisk(const std::vector<SDiskInfoLib>& disks) {
    return std::any_of(disks.begin(), disks.end(), [](const SDiskInfoLib& disk) {
        const auto& features = disk.guestOsFeatures.guestOsFeatures;
        return std::find(features.begin(), features.end(), "UEFI_COMPATIBLE") != features.end();
    });
}

// Confidential VMs are created only when every disk is attached over NVMe.
bool AllNvmeDisks(const std::vector<SDiskInfoLib>& disks) {
    return std::all_of(disks.begin(), disks.end(), [](const SDiskInfoLib& disk) {
        return strcasecmp(disk.interface.c_str(), "NVMe") == 0;
    });
}

}  // namespace

bool CGoogleCloudParser::Convert(SVMInfoLib& vm, mObject& object) {
    object["name"] = vm.name;
    object["zone"] = vm.zone;
    object["machineType"] = vm.machineType;
    object["canIpForward"] = vm.canIpForward;
    if (vm.deletionProtection) object["deletionProtection"] = true;
    if (!vm.description.empty()) object["description"] = vm.description;

    mArray disks;
    for (const SDiskInfoLib& disk : vm.disks) disks.push_back(AttachedDisk(disk));
    object["disks"] = disks;

    mArray interfaces;
    for (const SNetworkInterfaceInfoLib& networkInterface : vm.networkInterfaces)
        if (!networkInterface.network.empty()) interfaces.push_back(NetworkInterface(networkInterface));
    object["networkInterfaces"] = interfaces;

    object["tags"] = mObject{{"items", StringArray(vm.tags)}};

    if (!vm.metadata.empty()) {
        mArray items;
        for (const SKeyValueInfoLib& item : vm.metadata)
            items.push_back(mObject{{"key", item.key}, {"value", item.value}});
        object["metadata"] = mObject{{"items", items}};
    }
    if (!vm.labels.empty()) object["labels"] = LabelsObject(vm.labels);
    if (!vm.serviceAccounts.empty()) {
        mArray accounts;
        for (const SServiceAccountInfoLib& account : vm.serviceAccounts)
            accounts.push_back(mObject{{"email", account.email}, {"scopes", StringArray(account.scopes)}});
        object["serviceAccounts"] = accounts;
    }

    object["scheduling"] = Scheduling(vm.scheduling);
    if (vm.displayDevice.enableDisplay) object["displayDevice"] = mObject{{"enableDisplay", true}};
    if (AnyUefiDisk(vm.disks)) {
        const SShieldedInstanceConfigInfoLib& shielded = vm.shieldedInstanceConfig;
        object["shieldedInstanceConfig"] =
            mObject{{"enableSecureBoot", shielded.enableSecureBoot},
                    {"enableVtpm", shielded.enableVtpm},
                    {"enableIntegrityMonitoring", shielded.enableIntegrityMonitoring}};
    }
    if (AllNvmeDisks(vm.disks) && vm.confidentialInstanceConfig.enableConfidentialCompute)
        object["confidentialInstanceConfig"] = mObject{{"enableConfidentialCompute", true}};
    return true;
}

}  // namespace GoogleCloudSDKWrapper
