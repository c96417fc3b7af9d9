// Compute Engine locations: zones, regions, machine types and disk types, from the world's location
// catalog (or the built-in one), for every project in the regions it uses.
// https://cloud.google.com/compute/docs/reference/rest/v1/zones
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;

// What Google shows for resources that have always been there: the epoch, in its local time.
constexpr int64_t kAncient = 0;
// When Google made the machine and disk types, as it shows them (2012-06-07T13:48:14.670-07:00 and
// 2014-06-02T11:07:28.529-07:00).
constexpr int64_t kMachineTypesMade = 1339102094;
constexpr int kMachineTypesMadeMillis = 670;
constexpr int64_t kDiskTypesMade = 1401732448;
constexpr int kDiskTypesMadeMillis = 529;

struct Region {
    std::string name;
    std::vector<std::string> zones;
};

std::vector<Region> CatalogRegions(World::Txn& world) {
    std::vector<Region> regions;
    std::set<std::string> zones;
    for (const SeedEntry& entry : CatalogEntries(world, "regions")) {
        entry.Allow({"name", "description", "zones", "autoSubnetRange"});
        Region region{entry.RequiredText("name"), entry.Texts("zones")};
        if (region.zones.empty()) entry.Fail("a region needs its zones");
        for (const std::string& zone : region.zones) {
            if (RegionOfZone(zone) != region.name)
                entry.Fail("zone " + zone + " is not of region " + region.name);
            if (!zones.insert(zone).second) entry.Fail("zone " + zone + " is listed twice");
        }
        regions.push_back(std::move(region));
    }
    return regions;
}

// The project's "regions" (all of the catalog when absent), each checked against the catalog.
std::vector<Region> ProjectRegions(const std::vector<Region>& catalog, const mObject& seed,
                                   const std::string& projectId) {
    if (!seed.count("regions")) return catalog;
    const SeedEntry project(seed, "project " + projectId);
    std::vector<Region> regions;
    for (const std::string& name : project.Texts("regions")) {
        bool found = false;
        for (const Region& region : catalog) {
            if (region.name != name) continue;
            regions.push_back(region);
            found = true;
        }
        if (!found) project.Fail("region " + name + " is not in the location catalog");
    }
    return regions;
}

mObject ZoneResource(const World::Txn& world, const std::string& project, const std::string& zone) {
    const std::string name = project + "/zones/" + zone;
    mObject resource;
    resource["kind"] = "compute#zone";
    resource["id"] = StableId("zones/" + zone);
    resource["creationTimestamp"] = world.ComputeTime(kAncient);
    resource["name"] = zone;
    resource["description"] = zone;
    resource["status"] = "UP";
    resource["region"] = ComputeUrl(project + "/regions/" + RegionOfZone(zone));
    resource["selfLink"] = ComputeUrl(name);
    resource["availableCpuPlatforms"] = mArray{"Intel Ice Lake",  "Intel Cascade Lake", "Intel Skylake",
                                               "Intel Broadwell", "AMD Milan",          "AMD Rome"};
    resource["supportsPzs"] = false;
    return resource;
}

mObject Quota(const char* metric, double limit) {
    return mObject{{"metric", metric}, {"limit", limit}, {"usage", 0.0}};
}

mObject RegionResource(const World::Txn& world, const std::string& project, const Region& region) {
    mArray zones;
    for (const std::string& zone : region.zones) zones.push_back(ComputeUrl(project + "/zones/" + zone));
    mObject resource;
    resource["kind"] = "compute#region";
    resource["id"] = StableId("regions/" + region.name);
    resource["creationTimestamp"] = world.ComputeTime(kAncient);
    resource["name"] = region.name;
    resource["description"] = region.name;
    resource["status"] = "UP";
    resource["zones"] = std::move(zones);
    resource["quotas"] = mArray{Quota("CPUS", 24), Quota("DISKS_TOTAL_GB", 4096), Quota("SSD_TOTAL_GB", 500),
                                Quota("INSTANCES", 24), Quota("IN_USE_ADDRESSES", 8)};
    resource["selfLink"] = ComputeUrl(project + "/regions/" + region.name);
    resource["supportsPzs"] = false;
    return resource;
}

mObject MachineType(const World::Txn& world, const SeedEntry& entry, const std::string& project,
                    const std::string& zone) {
    const std::string name = entry.RequiredText("name");
    const int64_t cpus = entry.Integer("guestCpus", 0);
    const int64_t memoryMb = entry.Integer("memoryMb", 0);
    if (cpus <= 0 || memoryMb <= 0) entry.Fail("a machine type needs guestCpus and memoryMb");
    mObject resource;
    resource["kind"] = "compute#machineType";
    resource["id"] = StableId("machineTypes/" + name);
    resource["creationTimestamp"] = world.ComputeTime(kMachineTypesMade, kMachineTypesMadeMillis);
    resource["name"] = name;
    resource["description"] = entry.Text(
        "description", std::to_string(cpus) + " vCPUs, " + std::to_string(memoryMb / 1024) + " GB RAM");
    resource["guestCpus"] = cpus;
    resource["memoryMb"] = memoryMb;
    resource["imageSpaceGb"] = 0;
    // Shared-core machine types take 16 persistent disks, the others 128.
    resource["maximumPersistentDisks"] =
        entry.Integer("maximumPersistentDisks", entry.Flag("isSharedCpu", false) ? 16 : 128);
    resource["maximumPersistentDisksSizeGb"] = "263168";
    resource["zone"] = zone;  // the name, not a link, as Google gives it
    resource["selfLink"] = ComputeUrl(project + "/zones/" + zone + "/machineTypes/" + name);
    resource["isSharedCpu"] = entry.Flag("isSharedCpu", false);
    return resource;
}

// scope: "zones/z" or "regions/r".
mObject DiskType(const World::Txn& world, const SeedEntry& entry, const std::string& project,
                 const std::string& scope) {
    const std::string name = entry.RequiredText("name");
    mObject resource;
    resource["kind"] = "compute#diskType";
    resource["id"] = StableId("diskTypes/" + name);
    resource["creationTimestamp"] = world.ComputeTime(kDiskTypesMade, kDiskTypesMadeMillis);
    resource["name"] = name;
    resource["description"] = entry.Text("description", name);
    resource["validDiskSize"] = entry.Text("validDiskSize", "10GB-65536GB");
    resource["defaultDiskSizeGb"] = std::to_string(entry.Integer("defaultDiskSizeGb", 100));
    resource[scope.compare(0, 6, "zones/") == 0 ? "zone" : "region"] = ComputeUrl(project + "/" + scope);
    resource["selfLink"] = ComputeUrl(project + "/" + scope + "/diskTypes/" + name);
    return resource;
}

class ComputeLocationsApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.locations"; }

    void Register(Router& router, EmulatorContext& context) override {
        AddListRoute(router, context, "zones", collections::kZones, "compute#zoneList");
        AddGetRoute(router, context, "zones/{zone}", collections::kZones);
        AddListRoute(router, context, "regions", collections::kRegions, "compute#regionList");
        AddGetRoute(router, context, "regions/{region}", collections::kRegions);
        AddListRoute(router, context, "zones/{zone}/machineTypes", collections::kMachineTypes,
                     "compute#machineTypeList");
        AddGetRoute(router, context, "zones/{zone}/machineTypes/{name}", collections::kMachineTypes);
        for (const char* scope : {"zones/{zone}", "regions/{region}"}) {
            AddListRoute(router, context, scope + std::string("/diskTypes"), collections::kDiskTypes,
                         "compute#diskTypeList");
            AddGetRoute(router, context, scope + std::string("/diskTypes/{name}"), collections::kDiskTypes);
        }
    }

    void Seed(World::Txn& world) override {
        const std::vector<Region> catalog = CatalogRegions(world);
        const std::vector<SeedEntry> machineTypes = CatalogEntries(world, "machineTypes");
        const std::vector<SeedEntry> diskTypes = CatalogEntries(world, "diskTypes");
        for (const SeedEntry& entry : machineTypes)
            entry.Allow(
                {"name", "description", "guestCpus", "memoryMb", "isSharedCpu", "maximumPersistentDisks"});
        for (const SeedEntry& entry : diskTypes)
            entry.Allow({"name", "description", "validDiskSize", "defaultDiskSizeGb", "regional"});

        for (const auto& [projectId, seed] : SeedProjects(world)) {
            const std::string project = "projects/" + projectId;
            for (const Region& region : ProjectRegions(catalog, *seed, projectId)) {
                world.Put(collections::kRegions, project + "/regions/" + region.name,
                          RegionResource(world, project, region));
                for (const SeedEntry& type : diskTypes) {
                    if (!type.Flag("regional", true)) continue;
                    const std::string scope = "regions/" + region.name;
                    world.Put(collections::kDiskTypes,
                              project + "/" + scope + "/diskTypes/" + type.Text("name"),
                              DiskType(world, type, project, scope));
                }
                for (const std::string& zone : region.zones) {
                    const std::string scope = "zones/" + zone;
                    world.Put(collections::kZones, project + "/" + scope, ZoneResource(world, project, zone));
                    for (const SeedEntry& type : machineTypes)
                        world.Put(collections::kMachineTypes,
                                  project + "/" + scope + "/machineTypes/" + type.RequiredText("name"),
                                  MachineType(world, type, project, zone));
                    for (const SeedEntry& type : diskTypes)
                        world.Put(collections::kDiskTypes,
                                  project + "/" + scope + "/diskTypes/" + type.RequiredText("name"),
                                  DiskType(world, type, project, scope));
                }
            }
        }
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeLocationsApi() {
    return std::make_unique<ComputeLocationsApi>();
}

}  // namespace gcemu
