// Compute Engine images and licenses, and the public image projects that publish them (windows-cloud,
// ubuntu-os-cloud...): those answer for their images and licenses only and are no project of the
// world's Resource Manager. A project's own images are seeded with its disks.
// https://cloud.google.com/compute/docs/reference/rest/v1/images
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeImages.h"
#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mObject;
using json_spirit::mValue;

constexpr char kPublishedSince[] = "2016-01-01T00:00:00.000Z";

class ComputeImagesApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.images"; }

    void Register(Router& router, EmulatorContext& context) override {
        AddListRoute(router, context, "global/images", collections::kImages, "compute#imageList", true);
        AddGetRoute(router, context, "global/images/{name}", collections::kImages, true);
        AddListRoute(router, context, "global/licenses", collections::kLicenses, "", true);
        AddGetRoute(router, context, "global/licenses/{name}", collections::kLicenses, true);
        router.Add(hosts::kCompute, "GET", "/compute/v1/projects/{project}/global/images/family/{family}",
                   [&context](const Request& request, Response& response) {
                       std::string name;
                       if (!ExpandTail("global/images/family/{family}", request, name)) {
                           response = ComputeNotFoundResponse(request.path);
                           return;
                       }
                       World::Txn world = context.world.Lock();
                       const std::string missing = MissingParent(world, name, true);
                       const std::string image =
                           missing.empty() ? FindImage(world, request.Param("project"), name) : "";
                       response = image.empty() ? ComputeNotFoundResponse(missing.empty() ? name : missing)
                                                : Response::Json(*world.Find(collections::kImages, image));
                   });
    }

    void Seed(World::Txn& world) override {
        const mValue& catalog = SeedCatalog(world, "imageProjects");
        if (catalog.is_null()) return;
        if (catalog.type() != json_spirit::array_type)
            throw std::invalid_argument("world: 'imageProjects' is not an array");
        std::vector<SeedEntry> publishers;
        for (size_t i = 0; i < catalog.get_array().size(); ++i) {
            publishers.emplace_back(catalog.get_array()[i], "imageProjects[" + std::to_string(i) + "]");
            const SeedEntry& publisher = publishers.back();
            publisher.Allow({"projectId", "licenses", "images"});
            const std::string projectId = publisher.RequiredText("projectId");
            if (world.FindProject(projectId)) publisher.Fail(projectId + " is a project of the world too");
            if (world.Find(collections::kImageProjects, projectId))
                publisher.Fail(projectId + " is listed twice");
            world.Put(collections::kImageProjects, projectId, mObject{{"projectId", projectId}});
            for (const SeedEntry& entry :
                 SeedSection(publisher.object(), "licenses", "image project " + projectId)) {
                PutNew(world, collections::kLicenses,
                       LicenseResource(world, entry, projectId, kPublishedSince), entry);
            }
        }
        // Images may carry the licenses of other publishers (SQL Server images carry Windows's).
        for (const SeedEntry& publisher : publishers) {
            const std::string projectId = publisher.Text("projectId");
            for (const SeedEntry& entry :
                 SeedSection(publisher.object(), "images", "image project " + projectId)) {
                PutNew(world, collections::kImages, ImageResource(world, entry, projectId, kPublishedSince),
                       entry);
            }
        }
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeImagesApi() {
    return std::make_unique<ComputeImagesApi>();
}

}  // namespace gcemu
