#include "emulator/ComputeInterfaces.h"

#include <cstdio>
#include <vector>

#include "emulator/ComputeImages.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

// Where an interface is attached, and the range its address comes from.
struct Attachment {
    std::string network;
    std::string subnetwork;  // empty in a legacy network
    std::string cidr;
};

std::string RangeKey(const Attachment& attachment) {
    return attachment.subnetwork.empty() ? attachment.network : attachment.subnetwork;
}

void CheckShared(World::Txn& world, const SeedEntry& nic, const std::string& projectId,
                 const std::string& subnetwork) {
    if (!IsSubnetworkUsable(world, projectId, subnetwork))
        nic.Fail("subnetwork " + subnetwork + " is not shared with " + projectId);
}

Attachment Resolve(World::Txn& world, const SeedEntry& nic, const std::string& projectId,
                   const std::string& zone) {
    const std::string region = RegionOfZone(zone);
    Attachment attachment;
    if (nic.Has("subnetwork")) {
        attachment.subnetwork =
            QualifiedName(projectId, nic.Text("subnetwork"), "regions/" + region + "/subnetworks/");
        const mObject* subnet = world.Find(collections::kSubnetworks, attachment.subnetwork);
        if (!subnet) nic.Fail("subnetwork " + nic.Text("subnetwork") + " is not in the world");
        if (Segments(attachment.subnetwork)[3] != region)
            nic.Fail("subnetwork " + nic.Text("subnetwork") + " is not in region " + region);
        attachment.network = RelativeName(ZkJson::GetStringValue(*subnet, "network"));
        attachment.cidr = ZkJson::GetStringValue(*subnet, "ipCidrRange");
        if (nic.Has("network") &&
            QualifiedName(projectId, nic.Text("network"), "global/networks/") != attachment.network)
            nic.Fail("subnetwork " + nic.Text("subnetwork") + " is not of network " + nic.Text("network"));
        CheckShared(world, nic, projectId, attachment.subnetwork);
        return attachment;
    }
    attachment.network = QualifiedName(projectId, nic.Text("network", "default"), "global/networks/");
    const mObject* network = world.Find(collections::kNetworks, attachment.network);
    if (!network) nic.Fail("network " + nic.Text("network", "default") + " is not in the world");
    const std::vector<std::string> parts = Segments(attachment.network);
    if (network->count("IPv4Range")) {
        if (parts[1] != projectId) nic.Fail("a legacy network is not shared");
        attachment.cidr = ZkJson::GetStringValue(*network, "IPv4Range");
        return attachment;
    }
    const auto autoMode = network->find("autoCreateSubnetworks");
    if (autoMode == network->end() || autoMode->second.type() != json_spirit::bool_type ||
        !autoMode->second.get_bool())
        nic.Fail("network " + nic.Text("network") + " has custom subnetworks: name the subnetwork");
    attachment.subnetwork = "projects/" + parts[1] + "/regions/" + region + "/subnetworks/" + parts[4];
    const mObject* subnet = world.Find(collections::kSubnetworks, attachment.subnetwork);
    if (!subnet) nic.Fail("the project does not use region " + region);
    attachment.cidr = ZkJson::GetStringValue(*subnet, "ipCidrRange");
    CheckShared(world, nic, projectId, attachment.subnetwork);
    return attachment;
}

std::vector<SeedEntry> Interfaces(const SeedEntry& instance) {
    static const mObject kDefault{{"network", "default"}};
    if (!instance.Has("networkInterfaces"))
        return {SeedEntry(kDefault, instance.where() + ": networkInterfaces[0]")};
    std::vector<SeedEntry> nics = SeedSection(instance.object(), "networkInterfaces", instance.where());
    if (nics.empty()) instance.Fail("an instance needs a network interface");
    for (const SeedEntry& nic : nics)
        nic.Allow({"network", "subnetwork", "networkIP", "externalIP", "accessConfigs"});
    return nics;
}

// The given networkIP, checked to lie in the attachment's range; 0 when none is given.
uint32_t GivenAddress(const SeedEntry& nic, const Attachment& attachment) {
    if (!nic.Has("networkIP")) return 0;
    uint32_t address = 0;
    uint32_t base = 0;
    int length = 0;
    ParseCidr(attachment.cidr, base, length);
    if (!ParseIPv4(nic.Text("networkIP"), address) || (address & (~uint32_t(0) << (32 - length))) != base)
        nic.Fail("networkIP " + nic.Text("networkIP") + " is not an address of " + attachment.cidr);
    return address;
}

mArray AccessConfigs(const SeedEntry& nic) {
    mArray configs;
    if (nic.Has("externalIP")) {
        configs.push_back(mObject{{"kind", "compute#accessConfig"},
                                  {"type", "ONE_TO_ONE_NAT"},
                                  {"name", "External NAT"},
                                  {"natIP", nic.Text("externalIP")},
                                  {"networkTier", "PREMIUM"}});
    }
    if (const mArray* given = nic.Array("accessConfigs")) {
        for (const mValue& value : *given) {
            const SeedEntry config(value, nic.where() + ": accessConfigs");
            config.Allow({"kind", "type", "name", "natIP", "networkTier", "setPublicPtr",
                          "publicPtrDomainName", "externalIpv6", "externalIpv6PrefixLength"});
            mObject access = config.object();
            access["kind"] = "compute#accessConfig";
            access.emplace("type", "ONE_TO_ONE_NAT");
            access.emplace("name", "External NAT");
            access.emplace("networkTier", "PREMIUM");
            configs.push_back(std::move(access));
        }
    }
    return configs;
}

}  // namespace

bool IsSubnetworkUsable(World::Txn& world, const std::string& projectId, const std::string& subnetwork) {
    const std::string owner = Segments(subnetwork)[1];
    if (owner == projectId) return true;
    const mObject* link = world.Find(collections::kXpnServices, projectId);
    const mObject* host = link && ZkJson::GetStringValue(*link, "hostProject") == owner
                              ? world.Find(collections::kXpnHosts, owner)
                              : nullptr;
    if (!host) return false;
    for (const mValue& shared : host->at("sharedSubnetworks").get_array())
        if (shared.get_str() == subnetwork) return true;
    return false;
}

bool AddressBook::Reserve(const std::string& range, uint32_t address) {
    return m_used[range].insert(address).second;
}

uint32_t AddressBook::Next(const std::string& range, uint32_t base, int prefixLength) {
    std::set<uint32_t>& used = m_used[range];
    const uint32_t last = base + (uint32_t(1) << (32 - prefixLength)) - 2;  // before the broadcast address
    for (uint32_t address = base + 2; address <= last; ++address) {
        if (used.insert(address).second) return address;
    }
    return 0;
}

void ReserveGivenAddresses(World::Txn& world, const SeedEntry& instance, const std::string& projectId,
                           AddressBook& addresses) {
    for (const SeedEntry& nic : Interfaces(instance)) {
        const Attachment attachment = Resolve(world, nic, projectId, instance.RequiredText("zone"));
        const uint32_t address = GivenAddress(nic, attachment);
        if (address && !addresses.Reserve(RangeKey(attachment), address))
            nic.Fail("networkIP " + nic.Text("networkIP") + " is given twice");
    }
}

mArray NetworkInterfaces(World::Txn& world, const SeedEntry& instance, const std::string& projectId,
                         AddressBook& addresses) {
    mArray interfaces;
    for (const SeedEntry& nic : Interfaces(instance)) {
        const Attachment attachment = Resolve(world, nic, projectId, instance.RequiredText("zone"));
        uint32_t address = GivenAddress(nic, attachment);
        if (!address) {
            uint32_t base = 0;
            int length = 0;
            ParseCidr(attachment.cidr, base, length);
            address = addresses.Next(RangeKey(attachment), base, length);
            if (!address) nic.Fail("no address is left in " + attachment.cidr);
        }
        mObject item;
        item["kind"] = "compute#networkInterface";
        item["network"] = ComputeUrl(attachment.network);
        if (!attachment.subnetwork.empty()) item["subnetwork"] = ComputeUrl(attachment.subnetwork);
        item["networkIP"] = FormatIPv4(address);
        item["name"] = "nic" + std::to_string(interfaces.size());
        const mArray configs = AccessConfigs(nic);
        if (!configs.empty()) item["accessConfigs"] = configs;
        item["fingerprint"] = Fingerprint(mValue(attachment.network + FormatIPv4(address)));
        item["stackType"] = "IPV4_ONLY";
        interfaces.push_back(std::move(item));
    }
    return interfaces;
}

}  // namespace gcemu
