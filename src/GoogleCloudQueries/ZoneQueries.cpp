// Zones and regions, with the VM and network lists a zone can carry.
#include <algorithm>

#include "GoogleCloudQueries/ListFilter.h"
#include "GoogleCloudQueries/QueryPatterns.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudQueries::GetZoneInfo(const std::string& projectId, const std::string& zone,
                                      SZoneInfoLib& record, UINT64 mask) {
    if (!ObjectQuery(projectId, paths::Join("zones", zone), record)) return false;
    if ((mask & VM_PROP_HOST_VM_LIST) && !GetVMInfoListInZone(projectId, zone, record.vmList, mask))
        logger.Error(__PRETTY_FUNCTION__, "Unable to get vm info list in zone [%s].", zone.c_str());
    if (!(mask & VM_PROP_HOST_NW_LIST)) return true;

    if (!GetNetworkList(projectId, record.networkList, 0)) {
        logger.Error(__PRETTY_FUNCTION__, "Unable to get network info list in zone [%s].", zone.c_str());
    } else {
        for (SNetworkInfoLib& network : record.networkList) {
            std::vector<SSubnetInfoLib> subnets;
            // A list that failed part-way is not half kept.
            if (!GetSubNetworkList(projectId, zone, record.region, network.selfLink, subnets, 0))
                subnets.clear();
            network.subnetList = std::move(subnets);
        }
    }
    std::string hostProject;
    if (GetSharedVPCHostProject(projectId, hostProject) && !hostProject.empty())
        GetAggregatedSubNetworkList(hostProject, zone, record.region, record.networkList);
    return !record.networkList.empty();
}

bool CGoogleCloudQueries::GetZoneInfoList(const std::string& projectId, std::vector<SZoneInfoLib>& zones,
                                          UINT64 mask) {
    const size_t before = zones.size();
    if (!ListQuery(__PRETTY_FUNCTION__, projectId, "zones", zones,
                   JtString::Format("Couldn't find zones in the project [%s]", projectId.c_str())))
        return false;
    if (mask & VM_PROP_HOST_VM_LIST) {
        for (size_t i = before; i < zones.size(); ++i) {
            if (!GetVMInfoListInZone(projectId, zones[i].name, zones[i].vmList, mask))
                logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Unable to get vm info list in zone [%s].",
                                zones[i].name.c_str());
        }
    }
    return true;
}

bool CGoogleCloudQueries::GetRegionInfo(const std::string& projectId, const std::string& region,
                                        const std::string& regionId, SRegionInfoLib& record, UINT64) {
    if (!region.empty()) return ObjectQuery(projectId, paths::Join("regions", region), record);
    if (regionId.empty()) return true;

    std::vector<SRegionInfoLib> regions;
    std::string response;
    switch (FetchAllPages(projectId, "regions" + filter::EqualsQuery("id", regionId), "items", regions,
                          response)) {
        case ListOutcome::kRequestFailed:
            SetLastErrorFromResponse(response);
            return false;
        case ListOutcome::kNoList:
            return false;
        case ListOutcome::kListed:
            break;
    }
    if (regions.empty()) return true;
    // The filter narrows; only the region whose id is exactly the one asked for is taken.
    auto exact = std::find_if(regions.begin(), regions.end(),
                              [&](const SRegionInfoLib& candidate) { return candidate.id == regionId; });
    if (exact == regions.end()) return false;
    record = std::move(*exact);
    return true;
}

bool CGoogleCloudQueries::GetZoneInfoListInRegion(const std::string& projectId, const std::string& region,
                                                  std::vector<SZoneInfoLib>& zones, UINT64) {
    SRegionInfoLib record;
    if (GetRegionInfo(projectId, region, "", record, 0)) {
        zones = std::move(record.zoneList);
        return true;
    }
    if (GetErrorCode() != "404") return false;
    logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Couldn't find region [%s] in the project [%s]", region.c_str(),
                    projectId.c_str());
    return true;
}

bool CGoogleCloudQueries::GetRegionInfoList(const std::string& projectId,
                                            std::vector<SRegionInfoLib>& regions, UINT64) {
    return ListQuery(__PRETTY_FUNCTION__, projectId, "regions", regions,
                     JtString::Format("Couldn't find regions in the project [%s]", projectId.c_str()));
}

}  // namespace GoogleCloudSDKWrapper
