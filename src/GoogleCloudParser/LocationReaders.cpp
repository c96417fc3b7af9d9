// Zones, regions, machine types, networks, subnetworks and projects.
#include <string>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudParser/MappingHelpers.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudParser::Convert(const mObject& object, SZoneInfoLib& zone) {
    zone.name = GetStringValue(object, "name");
    zone.id = GetStringValue(object, "id");
    zone.description = GetStringValue(object, "description");
    zone.status = GetStringValue(object, "status");
    zone.region = GetRSubStrFromLastSlash(GetStringValue(object, "region"));
    zone.selfLink = GetStringValue(object, "selfLink");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SRegionInfoLib& region) {
    region.name = GetStringValue(object, "name");
    region.id = GetStringValue(object, "id");
    region.description = GetStringValue(object, "description");
    region.status = GetStringValue(object, "status");
    region.selfLink = GetStringValue(object, "selfLink");

    std::vector<std::string> zoneUrls;
    ConvertNestedListString(object, "zones", zoneUrls);
    for (const std::string& url : zoneUrls) {
        SZoneInfoLib zone;
        zone.name = GetRSubStrFromLastSlash(url);
        zone.selfLink = url;
        region.zoneList.push_back(std::move(zone));
    }
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SMachineTypeInfoLib& machineType) {
    machineType.name = GetStringValue(object, "name");
    machineType.id = GetStringValue(object, "id");
    machineType.selfLink = GetStringValue(object, "selfLink");
    machineType.description = GetStringValue(object, "description");
    machineType.guestCpus = GetIntValue(object, "guestCpus");
    machineType.memoryMb = GetIntValue(object, "memoryMb");
    machineType.zone = GetStringValue(object, "zone");
    machineType.maximumPersistentDisksSizeGb =
        DecimalOrZero(GetStringValue(object, "maximumPersistentDisksSizeGb"));
    machineType.maximumPersistentDisks = GetIntValue(object, "maximumPersistentDisks");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SNetworkInfoLib& network) {
    network.name = GetStringValue(object, "name");
    network.id = GetStringValue(object, "id");
    network.selfLink = GetStringValue(object, "selfLink");
    network.description = GetStringValue(object, "description");
    network.IPv4Range = GetStringValue(object, "IPv4Range");
    network.gatewayIPv4 = GetStringValue(object, "gatewayIPv4");

    // A legacy network has no subnetworks at all.
    std::vector<std::string> subnetUrls;
    ConvertNestedListString(object, "subnetworks", subnetUrls);
    for (const std::string& url : subnetUrls) {
        SSubnetInfoLib subnet;
        subnet.name = GetRSubStrFromLastSlash(url);
        subnet.selfLink = url;
        network.subnetList.push_back(std::move(subnet));
    }
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSubnetInfoLib& subnet) {
    subnet.name = GetStringValue(object, "name");
    subnet.id = GetStringValue(object, "id");
    subnet.selfLink = GetStringValue(object, "selfLink");
    subnet.region = GetRSubStrFromLastSlash(GetStringValue(object, "region"));
    subnet.description = GetStringValue(object, "description");
    subnet.gatewayAddress = GetStringValue(object, "gatewayAddress");
    subnet.network = GetRSubStrFromLastSlash(GetStringValue(object, "network"));

    std::string range = GetStringValue(object, "ipCidrRange");
    size_t slash = range.find('/');
    if (slash != std::string::npos) {
        subnet.ipRangeAddress = range.substr(0, slash);
        subnet.ipRangePrefix = range.substr(slash + 1);
    }
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SProjectInfoLib& project) {
    project.name = GetStringValue(object, "name");
    project.projectId = GetStringValue(object, "projectId");
    // A project under a folder belongs to an organization too, but its parent does not say which.
    if (const mObject* parent = ZkJson::FindObject(object, "parent")) {
        if (GetStringValue(*parent, "type") == "organization")
            project.organizationId = GetStringValue(*parent, "id");
    }
    return true;
}

}  // namespace GoogleCloudSDKWrapper
