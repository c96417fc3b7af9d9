/// @file
/// A Compute Engine instance (VM) and the records nested in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DiskRecords.h"
#include "Export.h"
#include "KeyValueRecords.h"

namespace GoogleCloudSDKWrapper {

/// An access configuration of a network interface (an external address).
struct GCSDK_API SAccessConfigInfo {
    std::string type;   ///< "ONE_TO_ONE_NAT", ...
    std::string name;   ///< "External NAT" for the usual external address
    std::string natIP;  ///< external address
};

/// A network interface of a VM; for a restore (FillVMInfo()) its name or network picks the saved one.
struct GCSDK_API SNetworkInterfaceInfoLib {
    std::string name;  ///< "nic0", "nic1", ...; a restore takes a saved name, one digit, or a network URL
    std::string networkName;                       ///< last segment of the network URL
    std::string network;                           ///< URL
    std::string subnetworkName;                    ///< last segment of the subnetwork URL
    std::string subnetwork;                        ///< URL
    std::string networkIP;                         ///< internal address
    std::vector<SAccessConfigInfo> accessConfigs;  ///< external addresses
};

/// A service account a VM runs as.
struct GCSDK_API SServiceAccountInfoLib {
    std::string email;                ///< the account's e-mail
    std::vector<std::string> scopes;  ///< OAuth scope URLs it is given
};

/// A sole-tenant node affinity of a VM's scheduling.
struct GCSDK_API SNodeAffinityInfo {
    std::string key;                  ///< e.g. "compute.googleapis.com/node-group-name"
    std::string operator_;            ///< "operator" (a C++ keyword): "IN" or "NOT_IN"
    std::vector<std::string> values;  ///< node group names, or values of the key
};

/// A VM's scheduling; absent flags keep Compute Engine's defaults.
struct GCSDK_API SSchedulingInfoLib {
    std::string onHostMaintenance;                  ///< "MIGRATE" or "TERMINATE"
    bool automaticRestart = true;                   ///< restarted after a crash or maintenance
    bool preemptible = false;                       ///< a preemptible VM
    std::vector<SNodeAffinityInfo> nodeAffinities;  ///< sole-tenant placement
};

/// A VM's virtual display device.
struct GCSDK_API SdisplayDeviceInfoLib {
    bool enableDisplay = false;  ///< the VM has a display device
};

/// A VM's Shielded VM settings; absent flags keep Compute Engine's defaults.
struct GCSDK_API SShieldedInstanceConfigInfoLib {
    bool enableSecureBoot = false;          ///< secure boot
    bool enableVtpm = true;                 ///< virtual trusted platform module
    bool enableIntegrityMonitoring = true;  ///< integrity monitoring
};

/// A VM's Confidential VM setting.
struct GCSDK_API SConfidentialInstanceConfigLib {
    bool enableConfidentialCompute = false;  ///< a Confidential VM
};

/// A Compute Engine instance, as the finding methods read it, or the description of a VM to restore.
struct GCSDK_API SVMInfoLib {
    std::string name;                   ///< the VM's name
    std::string selfLink;               ///< its URL
    std::string zone;                   ///< zone name
    std::string region;                 ///< the zone name without its last two characters
    std::string status;                 ///< "RUNNING", "TERMINATED", "STOPPING", "SUSPENDED", ...
    std::string machineType;            ///< machine-type name; restore replaces it with the machine-type URL
    std::string id;                     ///< the VM's GUID
    std::string description;            ///< free text
    std::string osLicense;              ///< operating-system license of the boot disk
    std::string externalIp;             ///< address of the first interface's "External NAT"
    std::string cpuPlatform;            ///< "Intel Cascade Lake", ...
    std::string projectId;              ///< set by the queries that return the VM
    std::string firmware;               ///< "efi" when a disk is UEFI-compatible
    int32_t diskCount = 0;              ///< the number of attached disks
    int32_t networkInterfaceCount = 0;  ///< the number of network interfaces
    int32_t memoryMb = 0;               ///< from the machine type, at restore
    int32_t guestCpus = 0;              ///< from the machine type, at restore
    bool canIpForward = false;          ///< may send packets with other source addresses
    bool deletionProtection = false;    ///< Compute Engine refuses to delete it
    SSchedulingInfoLib scheduling;      ///< scheduling and node affinities
    SdisplayDeviceInfoLib displayDevice;                        ///< display device
    SShieldedInstanceConfigInfoLib shieldedInstanceConfig;      ///< Shielded VM settings
    SConfidentialInstanceConfigLib confidentialInstanceConfig;  ///< Confidential VM setting
    std::vector<std::string> tags;                              ///< network tags
    std::vector<SKeyValueInfoLib> metadata;               ///< metadata items (startup scripts and the like)
    std::vector<SKeyValueInfoLib> labels;                 ///< in name order
    std::vector<SServiceAccountInfoLib> serviceAccounts;  ///< what the VM runs as
    std::vector<SDiskInfoLib>
        disks;  ///< attached disks, in the VM's order (the boot disk first after a restore)
    std::vector<SNetworkInterfaceInfoLib> networkInterfaces;  ///< in the VM's order
};

}  // namespace GoogleCloudSDKWrapper
