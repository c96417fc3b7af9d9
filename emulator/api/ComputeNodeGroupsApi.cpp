// Compute Engine node groups (sole-tenant nodes), which instances name in their node affinities.
// https://cloud.google.com/compute/docs/reference/rest/v1/nodeGroups
#include <memory>
#include <string>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mObject;

mObject NodeGroup(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                  const std::string& created) {
    entry.Allow(
        {"name", "zone", "nodeTemplate", "size", "description", "maintenancePolicy", "creationTimestamp"});
    const std::string zone = "projects/" + projectId + "/zones/" + entry.RequiredText("zone");
    if (!world.Find(collections::kZones, zone))
        entry.Fail("zone " + entry.Text("zone") + " is not the project's");
    const std::string name = zone + "/nodeGroups/" + entry.RequiredText("name");
    const int64_t size = entry.Integer("size", 1);
    if (size < 0) entry.Fail("size is negative");
    const std::string nodeTemplate = "projects/" + projectId + "/regions/" +
                                     RegionOfZone(entry.Text("zone")) + "/nodeTemplates/" +
                                     entry.Text("nodeTemplate", entry.Text("name") + "-template");
    mObject group;
    group["kind"] = "compute#nodeGroup";
    group["id"] = StableId(name);
    group["creationTimestamp"] = entry.CreationTimestamp(world, created, name);
    group["name"] = entry.Text("name");
    group["description"] = entry.Text("description");
    group["nodeTemplate"] = ComputeUrl(nodeTemplate);
    group["zone"] = ComputeUrl(zone);
    group["selfLink"] = ComputeUrl(name);
    group["status"] = "READY";
    group["size"] = size;
    group["maintenancePolicy"] = entry.Text("maintenancePolicy", "DEFAULT");
    group["autoscalingPolicy"] = mObject{{"mode", "OFF"}, {"minNodes", 0}, {"maxNodes", size}};
    group["shareSettings"] = mObject{{"shareType", "LOCAL"}};
    group["fingerprint"] = Fingerprint(json_spirit::mValue(name));
    return group;
}

class ComputeNodeGroupsApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.nodeGroups"; }

    void Register(Router& router, EmulatorContext& context) override {
        AddListRoute(router, context, "zones/{zone}/nodeGroups", collections::kNodeGroups,
                     "compute#nodeGroupList");
        AddGetRoute(router, context, "zones/{zone}/nodeGroups/{name}", collections::kNodeGroups);
    }

    void Seed(World::Txn& world) override {
        for (const auto& [projectId, seed] : SeedProjects(world)) {
            const std::string created = ZkJson::GetStringValue(*world.FindProject(projectId), "createTime");
            for (const SeedEntry& entry : SeedSection(*seed, "nodeGroups", "project " + projectId))
                PutNew(world, collections::kNodeGroups, NodeGroup(world, entry, projectId, created), entry);
        }
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeNodeGroupsApi() {
    return std::make_unique<ComputeNodeGroupsApi>();
}

}  // namespace gcemu
