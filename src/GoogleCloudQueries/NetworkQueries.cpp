// Networks, subnetworks, and the subnetworks a project may use from its shared-VPC host.
#include <map>

#include "GoogleCloudQueries/ListFilter.h"
#include "GoogleCloudQueries/QueryPatterns.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudQueries::GetNetworkInfo(const std::string& projectId, const std::string& network,
                                         SNetworkInfoLib& record, UINT64) {
    return ObjectQuery(projectId, "global/" + paths::Join("networks", network), record);
}

bool CGoogleCloudQueries::GetNetworkList(const std::string& projectId, std::vector<SNetworkInfoLib>& networks,
                                         UINT64) {
    return ListQuery(__PRETTY_FUNCTION__, projectId, "global/networks", networks,
                     JtString::Format("Couldn't find network list in the project [%s]", projectId.c_str()));
}

// A subnetwork may be given by name or by its URL.
bool CGoogleCloudQueries::GetSubNetworkInfo(const std::string& projectId, const std::string& subnetwork,
                                            SSubnetInfoLib& record, UINT64) {
    return ObjectQuery(
        projectId,
        paths::Join("regions", record.region) + "/" + paths::Join("subnetworks", paths::NameOf(subnetwork)),
        record);
}

bool CGoogleCloudQueries::GetSubNetworkList(const std::string& projectId, const std::string&,
                                            const std::string& region, const std::string& networkUrl,
                                            std::vector<SSubnetInfoLib>& subnets, UINT64) {
    std::string path = paths::Join("regions", region) + "/subnetworks";
    if (!networkUrl.empty()) path += filter::EqualsQuery("network", networkUrl);
    std::vector<SSubnetInfoLib> found;
    if (!ListQuery(__PRETTY_FUNCTION__, projectId, path, found,
                   JtString::Format("Couldn't find subnetwork list in the region [%s], project [%s]",
                                    region.c_str(), projectId.c_str())))
        return false;
    // The filter narrows; only subnetworks of exactly that network are kept.
    for (SSubnetInfoLib& subnet : found)
        if (networkUrl.empty() || subnet.network == paths::NameOf(networkUrl))
            subnets.push_back(std::move(subnet));
    return true;
}

bool CGoogleCloudQueries::GetSharedVPCHostProject(const std::string& projectId, std::string& hostProject) {
    const std::string path = "getXpnHost";
    std::string response;
    if (!connection->get(projectId, path, response)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed: to fetch host project URL [%s]", path.c_str());
        return false;
    }
    SProjectInfoLib host;
    if (!parser->ParseObject(response, host)) return false;
    hostProject = host.name;
    return true;
}

bool CGoogleCloudQueries::GetAggregatedSubNetworkList(const std::string& hostProject, const std::string&,
                                                      const std::string& region,
                                                      std::vector<SNetworkInfoLib>& networks) {
    std::vector<SNetworkInterfaceInfoLib> usable;
    std::string response;
    switch (FetchAllPages(hostProject, "aggregated/subnetworks/listUsable", "items", usable, response)) {
        case ListOutcome::kListed:
            return GetFilteredSharedVPCForRegion(region, usable, networks);
        case ListOutcome::kNoList:
            return false;
        case ListOutcome::kRequestFailed:
            break;
    }
    SetLastErrorFromResponse(response);
    if (GetErrorCode() != "404") return false;
    logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Couldn't find sub network list in the project [%s]",
                    hostProject.c_str());
    return true;
}

bool CGoogleCloudQueries::GetFilteredSharedVPCForRegion(
    const std::string& region, const std::vector<SNetworkInterfaceInfoLib>& usableSubnets,
    std::vector<SNetworkInfoLib>& networks) {
    const std::string key = "/" + region + "/";
    std::map<std::string, SNetworkInfoLib> byNetwork;
    for (const SNetworkInterfaceInfoLib& usable : usableSubnets) {
        if (usable.subnetwork.find(key) == std::string::npos) continue;
        logger.DebugLvl(__PRETTY_FUNCTION__, 2, "found shared Subnetwork[%s] ",
                        usable.subnetworkName.c_str());
        SSubnetInfoLib subnet;
        subnet.name = usable.subnetworkName;
        subnet.selfLink = usable.subnetwork;
        auto entry = byNetwork.find(usable.network);
        if (entry == byNetwork.end()) {
            SNetworkInfoLib network;
            network.name = usable.networkName;
            network.selfLink = usable.network;
            network.subnetList.push_back(std::move(subnet));
            byNetwork.emplace(usable.network, std::move(network));
        } else {
            entry->second.subnetList.push_back(std::move(subnet));
        }
    }
    for (auto& [url, network] : byNetwork) networks.push_back(std::move(network));
    return true;
}

}  // namespace GoogleCloudSDKWrapper
