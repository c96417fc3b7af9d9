/// @file
/// Zones, regions, machine types, networks, subnetworks and projects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "InstanceRecords.h"

namespace GoogleCloudSDKWrapper {

/// A subnetwork of a region.
struct GCSDK_API SSubnetInfoLib {
    std::string name;            ///< the subnetwork's name
    std::string id;              ///< its numeric id, as decimal text
    std::string selfLink;        ///< its URL
    std::string region;          ///< region name
    std::string description;     ///< free text
    std::string network;         ///< network name
    std::string ipRangeAddress;  ///< "ipCidrRange" before its "/"
    std::string ipRangePrefix;   ///< "ipCidrRange" after its "/"
    std::string gatewayAddress;  ///< the range's gateway, its first address
};

/// A VPC network (or a legacy network) of a project.
struct GCSDK_API SNetworkInfoLib {
    std::string name;                        ///< the network's name
    std::string id;                          ///< its numeric id, as decimal text
    std::string selfLink;                    ///< its URL
    std::string description;                 ///< free text
    std::string IPv4Range;                   ///< the range of a legacy network ("10.240.0.0/16")
    std::string gatewayIPv4;                 ///< the gateway of a legacy network
    std::vector<SSubnetInfoLib> subnetList;  ///< name and selfLink of each subnetwork
};

/// A Compute Engine zone, with the VMs and networks the property mask asks for.
struct GCSDK_API SZoneInfoLib {
    std::string name;                          ///< "us-central1-a"
    std::string id;                            ///< its numeric id, as decimal text
    std::string description;                   ///< free text
    std::string selfLink;                      ///< its URL
    std::string status;                        ///< "UP" or "DOWN"
    std::string region;                        ///< region name
    std::vector<SVMInfoLib> vmList;            ///< filled when the VM property mask asks for VMs
    std::vector<SNetworkInfoLib> networkList;  ///< filled when the mask asks for networks
};

/// A Compute Engine region and its zones.
struct GCSDK_API SRegionInfoLib {
    std::string name;                    ///< "us-central1"
    std::string id;                      ///< its numeric id, as decimal text
    std::string description;             ///< free text
    std::string status;                  ///< "UP" or "DOWN"
    std::string selfLink;                ///< its URL
    std::vector<SZoneInfoLib> zoneList;  ///< name and selfLink of each zone
};

/// A machine type of a zone.
struct GCSDK_API SMachineTypeInfoLib {
    std::string name;                    ///< "e2-standard-2"
    std::string id;                      ///< its numeric id, as decimal text
    std::string selfLink;                ///< its URL, which an instance body takes
    std::string description;             ///< "2 vCPUs, 8 GB RAM", ...
    std::string zone;                    ///< set by the caller before a query: the request path needs it
    int32_t guestCpus = 0;               ///< virtual CPUs
    int32_t memoryMb = 0;                ///< memory in MB
    int32_t maximumPersistentDisks = 0;  ///< how many disks a VM of this type can have attached
    int64_t maximumPersistentDisksSizeGb = 0;  ///< their largest total size in GB
};

/// A project the service account can see (Resource Manager).
struct GCSDK_API SProjectInfoLib {
    std::string name;            ///< display name
    std::string projectId;       ///< the identifier in every Compute Engine path
    std::string organizationId;  ///< its organization when that is its parent; empty under a folder
};

}  // namespace GoogleCloudSDKWrapper
