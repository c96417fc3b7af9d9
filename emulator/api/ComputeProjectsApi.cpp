// Compute Engine's project resource: projects.get.
// https://cloud.google.com/compute/docs/reference/rest/v1/projects/get
#include <memory>
#include <stdexcept>
#include <string>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeModel.h"
#include "emulator/GoogleErrors.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;

// The compute#project of a Resource Manager project, with the seed's "compute" members laid over it.
mObject ComputeProject(World::Txn& world, const mObject& project) {
    const std::string projectId = project.at("projectId").get_str();
    const std::string number = project.at("projectNumber").get_str();
    const int64_t created = ParseRfc3339(ZkJson::GetStringValue(project, "createTime"));

    mObject metadata;
    metadata["kind"] = "compute#metadata";
    mObject resource;
    resource["kind"] = "compute#project";
    resource["id"] = world.NewId();
    resource["name"] = projectId;
    resource["creationTimestamp"] = world.ComputeTime(created < 0 ? 0 : created);
    resource["selfLink"] = kComputeBase + std::string("projects/") + projectId;
    resource["commonInstanceMetadata"] = metadata;
    resource["defaultServiceAccount"] = number + "-compute@developer.gserviceaccount.com";
    resource["xpnProjectStatus"] = "UNSPECIFIED_XPN_PROJECT_STATUS";
    resource["defaultNetworkTier"] = "PREMIUM";
    resource["vmDnsSetting"] = "ZONAL_ONLY";

    const mObject* seed = world.SeedProject(projectId);
    if (seed && seed->count("compute")) {
        const SeedEntry overrides(seed->at("compute"), "project " + projectId + ": compute");
        overrides.Allow({"kind", "id", "name", "description", "creationTimestamp", "selfLink",
                         "commonInstanceMetadata", "defaultServiceAccount", "xpnProjectStatus",
                         "defaultNetworkTier", "vmDnsSetting", "enabledFeatures", "quotas",
                         "usageExportLocation"});
        for (const auto& [name, value] : overrides.object()) resource[name] = value;
    }
    if (resource["commonInstanceMetadata"].type() != json_spirit::obj_type)
        throw std::invalid_argument("world: commonInstanceMetadata of " + projectId + " is not an object");
    mObject& common = resource["commonInstanceMetadata"].get_obj();
    common["kind"] = "compute#metadata";
    if (!common.count("fingerprint")) {
        const mArray* items = ZkJson::FindArray(common, "items");
        common["fingerprint"] =
            Fingerprint(items ? json_spirit::mValue(*items) : json_spirit::mValue(mArray()));
    }
    return resource;
}

class ComputeProjectsApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.projects"; }

    void Register(Router& router, EmulatorContext& context) override {
        // The library asks with a trailing slash; Google answers both.
        router.Add(hosts::kCompute, "GET", "/compute/v1/projects/{project}/?",
                   [&context](const Request& request, Response& response) {
                       const std::string projectId = request.Param("project");
                       World::Txn world = context.world.Lock();
                       const mObject* project = world.Find(collections::kComputeProjects, projectId);
                       response = project ? Response::Json(*project)
                                          : ComputeNotFound("projects/" + projectId).ToResponse();
                   });
    }

    void Seed(World::Txn& world) override {
        for (const auto& [projectId, project] : world.List(collections::kProjects))
            world.Put(collections::kComputeProjects, projectId, ComputeProject(world, *project));
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeProjectsApi() {
    return std::make_unique<ComputeProjectsApi>();
}

}  // namespace gcemu
