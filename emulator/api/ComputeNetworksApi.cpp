// Compute Engine networks (auto, custom and legacy mode), subnetworks, and shared VPC: getXpnHost and
// the usable subnetworks of a project.
// https://cloud.google.com/compute/docs/reference/rest/v1/networks
// https://cloud.google.com/compute/docs/reference/rest/v1/subnetworks/listUsable
#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeImages.h"
#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

std::string AutoSubnetRange(World::Txn& world, const std::string& region) {
    const std::vector<SeedEntry> regions = CatalogEntries(world, "regions");
    for (size_t i = 0; i < regions.size(); ++i) {
        if (regions[i].Text("name") == region) {
            const std::string given = regions[i].Text("autoSubnetRange");
            return given.empty() ? "10." + std::to_string(128 + i) + ".0.0/20" : given;
        }
    }
    return "10.127.0.0/20";
}

mObject Subnetwork(const std::string& name, const std::string& network, const std::string& range,
                   const std::string& creationTimestamp) {
    uint32_t base = 0;
    int length = 0;
    ParseCidr(range, base, length);
    const std::vector<std::string> parts = Segments(name);  // projects/p/regions/r/subnetworks/s
    mObject subnet;
    subnet["kind"] = "compute#subnetwork";
    subnet["id"] = StableId(name);
    subnet["creationTimestamp"] = creationTimestamp;
    subnet["name"] = parts[5];
    subnet["network"] = ComputeUrl(network);
    subnet["ipCidrRange"] = range;
    subnet["gatewayAddress"] = FormatIPv4(base + 1);
    subnet["region"] = ComputeUrl(parts[0] + "/" + parts[1] + "/regions/" + parts[3]);
    subnet["selfLink"] = ComputeUrl(name);
    subnet["privateIpGoogleAccess"] = false;
    subnet["purpose"] = "PRIVATE";
    subnet["stackType"] = "IPV4_ONLY";
    subnet["fingerprint"] = Fingerprint(mValue(name + range));
    return subnet;
}

class ComputeNetworksApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.networks"; }

    void Register(Router& router, EmulatorContext& context) override {
        AddListRoute(router, context, "global/networks", collections::kNetworks, "compute#networkList");
        AddGetRoute(router, context, "global/networks/{name}", collections::kNetworks);
        AddListRoute(router, context, "regions/{region}/subnetworks", collections::kSubnetworks,
                     "compute#subnetworkList");
        AddGetRoute(router, context, "regions/{region}/subnetworks/{name}", collections::kSubnetworks);
        router.Add(hosts::kCompute, "GET", "/compute/v1/projects/{project}/getXpnHost",
                   [&context](const Request& request, Response& response) {
                       World::Txn world = context.world.Lock();
                       response = XpnHost(world, request.Param("project"));
                   });
        router.Add(hosts::kCompute, "GET", "/compute/v1/projects/{project}/aggregated/subnetworks/listUsable",
                   [&context](const Request& request, Response& response) {
                       World::Txn world = context.world.Lock();
                       response = ListUsable(context, request, world);
                   });
    }

    void Seed(World::Txn& world) override {
        for (const auto& [projectId, seed] : SeedProjects(world)) {
            const std::string where = "project " + projectId;
            const std::string created = ZkJson::GetStringValue(*world.FindProject(projectId), "createTime");
            for (const SeedEntry& entry : SeedSection(*seed, "networks", where))
                SeedNetwork(world, entry, projectId, created);
            for (const SeedEntry& entry : SeedSection(*seed, "subnetworks", where))
                SeedSubnetwork(world, entry, projectId, created);
            for (const auto& [key, network] :
                 world.List(collections::kNetworks, "projects/" + projectId + "/")) {
                if (!network->count("subnetworks")) continue;  // legacy
                mArray links;
                for (const auto& [subnetKey, subnet] :
                     world.List(collections::kSubnetworks, "projects/" + projectId + "/"))
                    if (ZkJson::GetStringValue(*subnet, "network") == ComputeUrl(key))
                        links.push_back(ComputeUrl(subnetKey));
                (*network)["subnetworks"] = std::move(links);
            }
        }
        for (const auto& [projectId, seed] : SeedProjects(world)) {
            if (seed->count("sharedVpc"))
                SeedSharedVpc(world, SeedEntry(seed->at("sharedVpc"), "project " + projectId + ": sharedVpc"),
                              projectId);
        }
    }

private:
    static void SeedNetwork(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                            const std::string& created) {
        entry.Allow({"name", "mode", "description", "IPv4Range", "routingMode", "mtu", "creationTimestamp"});
        const std::string name = "projects/" + projectId + "/global/networks/" + entry.RequiredText("name");
        const std::string mode = entry.Text("mode", "auto");
        const std::string timestamp = entry.CreationTimestamp(world, created, name);
        mObject network;
        network["kind"] = "compute#network";
        network["id"] = StableId(name);
        network["creationTimestamp"] = timestamp;
        network["name"] = entry.RequiredText("name");
        network["description"] = entry.Text("description");
        network["selfLink"] = ComputeUrl(name);
        network["selfLinkWithId"] =
            ComputeUrl("projects/" + projectId + "/global/networks/" + StableId(name));
        network["routingConfig"] = mObject{{"routingMode", entry.Text("routingMode", "REGIONAL")}};
        network["mtu"] = entry.Integer("mtu", 1460);
        network["networkFirewallPolicyEnforcementOrder"] = "AFTER_CLASSIC_FIREWALL";
        if (mode == "legacy") {
            const std::string range = entry.Text("IPv4Range", "10.240.0.0/16");
            uint32_t base = 0;
            int length = 0;
            if (!ParseCidr(range, base, length)) entry.Fail("IPv4Range " + range + " is not an IPv4 range");
            network["IPv4Range"] = range;
            network["gatewayIPv4"] = FormatIPv4(base + 1);
        } else if (mode == "auto" || mode == "custom") {
            if (entry.Has("IPv4Range")) entry.Fail("only a legacy network has an IPv4Range");
            network["autoCreateSubnetworks"] = mode == "auto";
            network["subnetworks"] = mArray();
        } else {
            entry.Fail("mode must be auto, custom or legacy");
        }
        PutNew(world, collections::kNetworks, std::move(network), entry);
        if (mode != "auto") return;
        for (const auto& [regionKey, region] :
             world.List(collections::kRegions, "projects/" + projectId + "/")) {
            const std::string regionName = LastSegment(regionKey);
            world.Put(collections::kSubnetworks, regionKey + "/subnetworks/" + entry.Text("name"),
                      Subnetwork(regionKey + "/subnetworks/" + entry.Text("name"), name,
                                 AutoSubnetRange(world, regionName), timestamp));
        }
    }

    static void SeedSubnetwork(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                               const std::string& created) {
        entry.Allow({"name", "region", "network", "ipCidrRange", "secondaryIpRanges", "privateIpGoogleAccess",
                     "description", "creationTimestamp"});
        const std::string region = "projects/" + projectId + "/regions/" + entry.RequiredText("region");
        if (!world.Find(collections::kRegions, region))
            entry.Fail("region " + entry.Text("region") + " is not the project's");
        const std::string network =
            QualifiedName(projectId, entry.RequiredText("network"), "global/networks/");
        const mObject* parent = world.Find(collections::kNetworks, network);
        if (!parent) entry.Fail("network " + entry.Text("network") + " is not in the world");
        if (!parent->count("subnetworks"))
            entry.Fail("network " + entry.Text("network") + " is a legacy network");
        const std::string range = entry.RequiredText("ipCidrRange");
        uint32_t base = 0;
        int length = 0;
        if (!ParseCidr(range, base, length)) entry.Fail("ipCidrRange " + range + " is not an IPv4 range");
        const std::string name = region + "/subnetworks/" + entry.RequiredText("name");
        mObject subnet = Subnetwork(name, network, range, entry.CreationTimestamp(world, created, name));
        subnet["description"] = entry.Text("description");
        subnet["privateIpGoogleAccess"] = entry.Flag("privateIpGoogleAccess", false);
        if (const mArray* ranges = entry.Array("secondaryIpRanges")) {
            for (const mValue& secondary : *ranges) {
                const SeedEntry item(secondary, entry.where() + ": secondaryIpRanges");
                item.Allow({"rangeName", "ipCidrRange"});
                item.RequiredText("rangeName");
                if (!ParseCidr(item.RequiredText("ipCidrRange"), base, length))
                    item.Fail("ipCidrRange is not an IPv4 range");
            }
            subnet["secondaryIpRanges"] = *ranges;
        }
        PutNew(world, collections::kSubnetworks, std::move(subnet), entry);
    }

    static void SeedSharedVpc(World::Txn& world, const SeedEntry& entry, const std::string& hostId) {
        entry.Allow({"serviceProjects", "sharedSubnetworks"});
        if (world.Find(collections::kXpnServices, hostId)) entry.Fail("a service project cannot be a host");
        mArray services;
        for (const std::string& service : entry.Texts("serviceProjects")) {
            if (service == hostId || !world.FindProject(service))
                entry.Fail("service project " + service + " is not another project of the world");
            if (world.Find(collections::kXpnServices, service) || world.Find(collections::kXpnHosts, service))
                entry.Fail("project " + service + " is a host or a service project already");
            world.Put(collections::kXpnServices, service, mObject{{"hostProject", hostId}});
            services.push_back(service);
        }
        mArray shared;
        if (entry.Has("sharedSubnetworks")) {
            for (const std::string& reference : entry.Texts("sharedSubnetworks")) {
                const std::string name = QualifiedName(hostId, reference, "");
                if (name.compare(0, hostId.size() + 10, "projects/" + hostId + "/") != 0 ||
                    !world.Find(collections::kSubnetworks, name))
                    entry.Fail("shared subnetwork " + reference + " is not a subnetwork of " + hostId);
                shared.push_back(name);
            }
        } else {
            for (const auto& [key, subnet] :
                 world.List(collections::kSubnetworks, "projects/" + hostId + "/"))
                shared.push_back(key);
        }
        world.Put(collections::kXpnHosts, hostId,
                  mObject{{"serviceProjects", services}, {"sharedSubnetworks", shared}});
        if (mObject* project = world.Find(collections::kComputeProjects, hostId))
            (*project)["xpnProjectStatus"] = "HOST";
    }

    // The host's project resource for a service project; an empty object for any other project.
    static Response XpnHost(World::Txn& world, const std::string& projectId) {
        const std::string missing = MissingParent(world, "projects/" + projectId);
        if (!missing.empty()) return ComputeNotFoundResponse(missing);
        const mObject* link = world.Find(collections::kXpnServices, projectId);
        const mObject* host =
            link ? world.Find(collections::kComputeProjects, ZkJson::GetStringValue(*link, "hostProject"))
                 : nullptr;
        return Response::Json(host ? *host : mObject());
    }

    // A host's shared subnetworks; any other project's own.
    static Response ListUsable(const EmulatorContext& context, const Request& request, World::Txn& world) {
        const std::string projectId = request.Param("project");
        const std::string missing = MissingParent(world, "projects/" + projectId);
        if (!missing.empty()) return ComputeNotFoundResponse(missing);
        std::vector<std::string> keys;
        if (const mObject* host = world.Find(collections::kXpnHosts, projectId)) {
            for (const mValue& key : host->at("sharedSubnetworks").get_array()) keys.push_back(key.get_str());
        } else {
            for (const auto& [key, subnet] :
                 world.List(collections::kSubnetworks, "projects/" + projectId + "/"))
                keys.push_back(key);
        }
        std::sort(keys.begin(), keys.end());
        std::vector<std::pair<std::string, mObject>> usable;
        for (const std::string& key : keys) {
            const mObject* subnet = world.Find(collections::kSubnetworks, key);
            if (!subnet) continue;  // deleted since
            mObject item;
            item["subnetwork"] = subnet->at("selfLink");
            item["network"] = subnet->at("network");
            item["ipCidrRange"] = subnet->at("ipCidrRange");
            item["purpose"] = "PRIVATE";
            item["stackType"] = "IPV4_ONLY";
            if (subnet->count("secondaryIpRanges"))
                item["secondaryIpRanges"] = subnet->at("secondaryIpRanges");
            usable.emplace_back(key, std::move(item));
        }
        KeyedResources items;
        for (const auto& [key, item] : usable) items.emplace_back(key, &item);
        return ComputeListResponse(context, request, "compute#usableSubnetworksAggregatedList",
                                   "projects/" + projectId + "/aggregated/subnetworks/listUsable", items);
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeNetworksApi() {
    return std::make_unique<ComputeNetworksApi>();
}

}  // namespace gcemu
