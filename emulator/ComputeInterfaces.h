// The network interfaces of seeded instances: networks and subnetworks resolved (shared VPC included)
// and internal addresses handed out as Google does, the first free ones of the range.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "emulator/ComputeModel.h"

namespace gcemu {

// The addresses in use, by the range they come from (a subnetwork or a legacy network).
class AddressBook {
public:
    // False when the address is taken already.
    bool Reserve(const std::string& range, uint32_t address);
    // The first free address after the range's network and gateway addresses; 0 when it is full.
    uint32_t Next(const std::string& range, uint32_t base, int prefixLength);

private:
    std::map<std::string, std::set<uint32_t>> m_used;
};

// Whether the project's instances may use the subnetwork (a relative name): its own, or one its shared VPC
// host shares.
bool IsSubnetworkUsable(World::Txn& world, const std::string& projectId, const std::string& subnetwork);

// Marks the networkIP the instance entry gives, so that addresses handed out never take them.
void ReserveGivenAddresses(World::Txn& world, const SeedEntry& instance, const std::string& projectId,
                           AddressBook& addresses);

// The instance's networkInterfaces; its entry's "networkInterfaces" or, when absent, one interface in
// the project's "default" network.
json_spirit::mArray NetworkInterfaces(World::Txn& world, const SeedEntry& instance,
                                      const std::string& projectId, AddressBook& addresses);

}  // namespace gcemu
