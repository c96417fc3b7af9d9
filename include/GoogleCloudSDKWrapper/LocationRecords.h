// Zones, regions, machine types, networks, subnetworks and projects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "InstanceRecords.h"

namespace GoogleCloudSDKWrapper {

struct GCSDK_API SSubnetInfoLib {
    std::string name;
    std::string id;
    std::string selfLink;
    std::string region;  // region name
    std::string description;
    std::string network;         // network name
    std::string ipRangeAddress;  // "ipCidrRange" before its "/"
    std::string ipRangePrefix;   // "ipCidrRange" after its "/"
    std::string gatewayAddress;
};

struct GCSDK_API SNetworkInfoLib {
    std::string name;
    std::string id;
    std::string selfLink;
    std::string description;
    std::string IPv4Range;  // legacy networks
    std::string gatewayIPv4;
    std::vector<SSubnetInfoLib> subnetList;  // name and selfLink of each subnetwork
};

struct GCSDK_API SZoneInfoLib {
    std::string name;
    std::string id;
    std::string description;
    std::string selfLink;
    std::string status;
    std::string region;                        // region name
    std::vector<SVMInfoLib> vmList;            // filled when the VM property mask asks for VMs
    std::vector<SNetworkInfoLib> networkList;  // filled when the mask asks for networks
};

struct GCSDK_API SRegionInfoLib {
    std::string name;
    std::string id;
    std::string description;
    std::string status;
    std::string selfLink;
    std::vector<SZoneInfoLib> zoneList;  // name and selfLink of each zone
};

struct GCSDK_API SMachineTypeInfoLib {
    std::string name;
    std::string id;
    std::string selfLink;
    std::string description;
    std::string zone;  // set by the caller before a query: the request path needs it
    int32_t guestCpus = 0;
    int32_t memoryMb = 0;
    int32_t maximumPersistentDisks = 0;
    int64_t maximumPersistentDisksSizeGb = 0;
};

struct GCSDK_API SProjectInfoLib {
    std::string name;       // display name
    std::string projectId;  // the identifier in every Compute Engine path
    std::string organizationId;
};

}  // namespace GoogleCloudSDKWrapper
