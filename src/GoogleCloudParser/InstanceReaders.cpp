// Readers of the Compute Engine instance (VM) and the records nested in it.
#include <algorithm>

#include "GoogleCloudParser/CGoogleCloudParser.h"

namespace GoogleCloudSDKWrapper {

namespace {

const char kExternalNatName[] = "External NAT";
const char kUefiFeature[] = "UEFI_COMPATIBLE";

// A flag is taken only from a JSON boolean: absent, null or wrong-typed keys keep the record's own
// default, which for automaticRestart, enableVtpm and enableIntegrityMonitoring is true (as in the API).
// The getter still logs a wrong type.
void ReadFlag(CGoogleCloudParser& parser, const mObject& object, const std::string& key, bool& flag) {
    const bool value = parser.GetBoolValue(object, key);
    auto found = object.find(key);
    if (found != object.end() && found->second.type() == json_spirit::bool_type) flag = value;
}

bool HasFeature(const SDiskInfoLib& disk, const std::string& feature) {
    const auto& features = disk.guestOsFeatures.guestOsFeatures;
    return std::find(features.begin(), features.end(), feature) != features.end();
}

}  // namespace

bool CGoogleCloudParser::Convert(const mObject& object, SVMInfoLib& vm) {
    vm.name = GetStringValue(object, "name");
    vm.status = GetStringValue(object, "status");
    vm.id = GetStringValue(object, "id");
    vm.machineType = GetRSubStrFromLastSlash(GetStringValue(object, "machineType"));
    vm.zone = GetRSubStrFromLastSlash(GetStringValue(object, "zone"));
    // Zone names are the region name plus "-" and a letter.
    if (!vm.zone.empty())
        vm.region = vm.zone.size() > 2 ? vm.zone.substr(0, vm.zone.size() - 2) : std::string();
    vm.selfLink = GetStringValue(object, "selfLink");
    vm.cpuPlatform = GetStringValue(object, "cpuPlatform");
    ReadFlag(*this, object, "canIpForward", vm.canIpForward);
    vm.description = GetStringValue(object, "description");
    ReadFlag(*this, object, "deletionProtection", vm.deletionProtection);

    ConvertNestedItemListString(object, "tags", vm.tags);
    ConvertNestedList(object, "disks", vm.disks);
    ConvertNestedList(object, "networkInterfaces", vm.networkInterfaces);
    ConvertNestedItemListObject(object, "metadata", vm.metadata);
    ConvertObjtoKeyPairList(object, "labels", vm.labels);
    ConvertNestedList(object, "serviceAccounts", vm.serviceAccounts);
    ConvertNestedObject(object, "scheduling", vm.scheduling);
    ConvertNestedObject(object, "displayDevice", vm.displayDevice);
    ConvertNestedObject(object, "shieldedInstanceConfig", vm.shieldedInstanceConfig);
    ConvertNestedObject(object, "confidentialInstanceConfig", vm.confidentialInstanceConfig);

    vm.diskCount = static_cast<int32_t>(vm.disks.size());
    vm.networkInterfaceCount = static_cast<int32_t>(vm.networkInterfaces.size());

    if (!vm.networkInterfaces.empty()) {
        for (const SAccessConfigInfo& config : vm.networkInterfaces.front().accessConfigs)
            if (config.name == kExternalNatName) vm.externalIp = config.natIP;
    }

    // Firmware counts the disks up to the boot disk that carries the image licenses.
    const SDiskInfoLib* bootDisk = nullptr;
    for (const SDiskInfoLib& disk : vm.disks) {
        if (HasFeature(disk, kUefiFeature)) vm.firmware = "efi";
        if (disk.boot && !disk.licenses.empty()) {
            bootDisk = &disk;
            break;
        }
    }
    if (!bootDisk) return true;

    // An image may carry add-on licenses besides its operating system's; prefer the latter.
    const std::vector<std::string>& licenses = bootDisk->licenses;
    auto osLicense = std::find_if(licenses.begin(), licenses.end(),
                                  [this](const std::string& url) { return IsLicenseOfOSImage(url); });
    vm.osLicense = GetRSubStrFromLastSlash(osLicense != licenses.end() ? *osLicense : licenses.front());
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SNetworkInterfaceInfoLib& networkInterface) {
    networkInterface.name = GetStringValue(object, "name");
    networkInterface.subnetwork = GetStringValue(object, "subnetwork");
    networkInterface.subnetworkName = GetRSubStrFromLastSlash(networkInterface.subnetwork);
    networkInterface.networkIP = GetStringValue(object, "networkIP");
    networkInterface.network = GetStringValue(object, "network");
    networkInterface.networkName = GetRSubStrFromLastSlash(networkInterface.network);
    ConvertNestedList(object, "accessConfigs", networkInterface.accessConfigs);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SAccessConfigInfo& accessConfig) {
    accessConfig.name = GetStringValue(object, "name");
    accessConfig.type = GetStringValue(object, "type");
    accessConfig.natIP = GetStringValue(object, "natIP");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SServiceAccountInfoLib& serviceAccount) {
    serviceAccount.email = GetStringValue(object, "email");
    ConvertNestedListString(object, "scopes", serviceAccount.scopes);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSchedulingInfoLib& scheduling) {
    scheduling.onHostMaintenance = GetStringValue(object, "onHostMaintenance");
    ReadFlag(*this, object, "automaticRestart", scheduling.automaticRestart);
    ReadFlag(*this, object, "preemptible", scheduling.preemptible);
    ConvertNestedList(object, "nodeAffinities", scheduling.nodeAffinities);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SNodeAffinityInfo& affinity) {
    affinity.key = GetStringValue(object, "key");
    affinity.operator_ = GetStringValue(object, "operator");
    ConvertNestedListString(object, "values", affinity.values);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SdisplayDeviceInfoLib& displayDevice) {
    ReadFlag(*this, object, "enableDisplay", displayDevice.enableDisplay);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SShieldedInstanceConfigInfoLib& shielded) {
    ReadFlag(*this, object, "enableSecureBoot", shielded.enableSecureBoot);
    ReadFlag(*this, object, "enableVtpm", shielded.enableVtpm);
    ReadFlag(*this, object, "enableIntegrityMonitoring", shielded.enableIntegrityMonitoring);
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SConfidentialInstanceConfigLib& confidential) {
    ReadFlag(*this, object, "enableConfidentialCompute", confidential.enableConfidentialCompute);
    return true;
}

}  // namespace GoogleCloudSDKWrapper
