// A Compute Engine instance (VM) and the records nested in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DiskRecords.h"
#include "Export.h"
#include "KeyValueRecords.h"

namespace GoogleCloudSDKWrapper {

struct GCSDK_API SAccessConfigInfo {
    std::string type;
    std::string name;
    std::string natIP;  // external address
};

struct GCSDK_API SNetworkInterfaceInfoLib {
    std::string name;
    std::string networkName;     // last segment of the network URL
    std::string network;         // URL
    std::string subnetworkName;  // last segment of the subnetwork URL
    std::string subnetwork;      // URL
    std::string networkIP;       // internal address
    std::vector<SAccessConfigInfo> accessConfigs;
};

struct GCSDK_API SServiceAccountInfoLib {
    std::string email;
    std::vector<std::string> scopes;
};

struct GCSDK_API SNodeAffinityInfo {
    std::string key;
    std::string operator_;  // "operator" (a C++ keyword): "IN" or "NOT_IN"
    std::vector<std::string> values;
};

struct GCSDK_API SSchedulingInfoLib {
    std::string onHostMaintenance;
    bool automaticRestart = true;
    bool preemptible = false;
    std::vector<SNodeAffinityInfo> nodeAffinities;
};

struct GCSDK_API SdisplayDeviceInfoLib {
    bool enableDisplay = false;
};

struct GCSDK_API SShieldedInstanceConfigInfoLib {
    bool enableSecureBoot = false;
    bool enableVtpm = true;
    bool enableIntegrityMonitoring = true;
};

struct GCSDK_API SConfidentialInstanceConfigLib {
    bool enableConfidentialCompute = false;
};

struct GCSDK_API SVMInfoLib {
    std::string name;
    std::string selfLink;
    std::string zone;    // zone name
    std::string region;  // the zone name without its last two characters
    std::string status;
    std::string machineType;  // machine-type name; restore replaces it with the machine-type URL
    std::string id;           // the VM's GUID
    std::string description;
    std::string osLicense;   // operating-system license of the boot disk
    std::string externalIp;  // address of the first interface's "External NAT"
    std::string cpuPlatform;
    std::string projectId;  // set by the queries that return the VM
    std::string firmware;   // "efi" when a disk is UEFI-compatible
    int32_t diskCount = 0;
    int32_t networkInterfaceCount = 0;
    int32_t memoryMb = 0;   // from the machine type, at restore
    int32_t guestCpus = 0;  // from the machine type, at restore
    bool canIpForward = false;
    bool deletionProtection = false;
    SSchedulingInfoLib scheduling;
    SdisplayDeviceInfoLib displayDevice;
    SShieldedInstanceConfigInfoLib shieldedInstanceConfig;
    SConfidentialInstanceConfigLib confidentialInstanceConfig;
    std::vector<std::string> tags;
    std::vector<SKeyValueInfoLib> metadata;
    std::vector<SKeyValueInfoLib> labels;  // in name order
    std::vector<SServiceAccountInfoLib> serviceAccounts;
    std::vector<SDiskInfoLib> disks;
    std::vector<SNetworkInterfaceInfoLib> networkInterfaces;
};

}  // namespace GoogleCloudSDKWrapper
