// Cloud SQL Admin v1beta4 on sqladmin.googleapis.com: instances list (maxResults, pageToken) and get,
// seeded from the projects' "sqlInstances" (SqlAdminModel.h). The family seeds after Compute Engine's,
// whose networks and zones the instances name.
// https://cloud.google.com/sql/docs/mysql/admin-api/rest/v1beta4/instances
#include <algorithm>
#include <memory>
#include <string>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeLists.h"
#include "emulator/SqlAdminModel.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;

constexpr int64_t kDefaultPage = 500;   // when maxResults is absent
constexpr int64_t kLargestPage = 1000;  // more is cut to this

class SqlAdminApi : public ApiFamily {
public:
    const char* Name() const override { return "sqladmin"; }

    void Register(Router& router, EmulatorContext& context) override {
        m_context = &context;
        router.Add(hosts::kSqlAdmin, "GET", "/sql/v1beta4/projects/{project}/instances/?",
                   [this](const Request& request, Response& response) { response = List(request); });
        router.Add(hosts::kSqlAdmin, "GET", "/sql/v1beta4/projects/{project}/instances/{instance}",
                   [this](const Request& request, Response& response) { response = Get(request); });
    }

    void Seed(World::Txn& world) override {
        for (const auto& [projectId, seed] : SeedProjects(world)) {
            const std::vector<SeedEntry> entries = SeedSection(*seed, "sqlInstances", "project " + projectId);
            for (mObject& instance : SeedSqlInstances(world, projectId, entries)) {
                const std::string key = "projects/" + projectId + "/instances/" + instance["name"].get_str();
                world.Put(collections::kSqlInstances, key, std::move(instance));
            }
        }
    }

private:
    Response List(const Request& request) const {
        int64_t pageSize = kDefaultPage;
        if (request.HasQuery("maxResults")) {
            const std::string text = request.Query("maxResults");
            if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
                return SqlError(400, "invalid",
                                "Invalid value at 'max_results' (TYPE_UINT32), \"" + text + "\"");
            pageSize = std::min<int64_t>(std::stoll(text), kLargestPage);
            if (pageSize == 0) pageSize = kDefaultPage;
        }
        if (m_context->options.pageSize > 0)
            pageSize = std::min<int64_t>(pageSize, m_context->options.pageSize);

        const std::string project = request.Param("project");
        World::Txn world = m_context->world.Lock();
        if (!world.FindProject(project)) return SqlNotAuthorized();
        KeyedResources instances;
        for (const auto& [key, instance] :
             world.List(collections::kSqlInstances, "projects/" + project + "/"))
            instances.emplace_back(key, instance);
        PageSlice slice;
        if (!SlicePage(instances, static_cast<size_t>(pageSize), request.Query("pageToken"),
                       "sql.instances\n" + project, slice))
            return SqlError(400, "invalid", "Invalid request: Invalid page token.");
        // A project without instances answers without "items", as Google does.
        mObject body{{"kind", "sql#instancesList"}};
        if (!slice.items.empty()) {
            mArray items;
            for (const mObject* instance : slice.items) items.push_back(*instance);
            body["items"] = std::move(items);
        }
        if (!slice.nextPageToken.empty()) body["nextPageToken"] = slice.nextPageToken;
        return Response::Json(body);
    }

    Response Get(const Request& request) const {
        const std::string project = request.Param("project");
        World::Txn world = m_context->world.Lock();
        if (!world.FindProject(project)) return SqlNotAuthorized();
        const mObject* instance = world.Find(
            collections::kSqlInstances, "projects/" + project + "/instances/" + request.Param("instance"));
        return instance ? Response::Json(*instance) : SqlInstanceDoesNotExist();
    }

    EmulatorContext* m_context = nullptr;
};

}  // namespace

std::unique_ptr<ApiFamily> MakeSqlAdminApi() {
    return std::make_unique<SqlAdminApi>();
}

}  // namespace gcemu
