// Cloud Spanner's family: its routes, its instances and databases seeded from the world, and the instance
// configs and instances.
#include "emulator/api/SpannerApi.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "emulator/SpannerModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;

namespace {

constexpr int64_t kLargestPage = 1000;  // the server's page when the client asks for none

// Backup ids are database ids of up to 60 characters.
bool IsBackupId(const std::string& id) {
    return id.size() <= 60 && IsSpannerDatabaseId(id.size() > 30 ? id.substr(0, 29) + id.back() : id);
}

mObject RestoreInfo(const SeedEntry& database, const std::string& instanceName, int64_t created) {
    const SeedEntry restored(*database.Object("restoredFrom"), database.where() + ": restoredFrom");
    restored.Allow({"backup", "sourceDatabase", "createTime"});
    const std::string backup = restored.RequiredText("backup");
    const std::string source = restored.RequiredText("sourceDatabase");
    if (!IsBackupId(backup)) restored.Fail("'" + backup + "' is not a backup id");
    if (!IsSpannerDatabaseId(source)) restored.Fail("'" + source + "' is not a database id");
    const std::string backupName = instanceName + "/backups/" + backup;
    // The backup was taken within the month before the database was restored from it.
    const int64_t taken = restored.Time("createTime", created - 31 * 86400, 30, backupName);
    if (taken >= created) restored.Fail("the backup's 'createTime' is not before the database's");
    const std::string time = FormatMicrosTime(taken, backupName);
    mObject backupInfo{{"backup", backupName},
                       {"sourceDatabase", instanceName + "/databases/" + source},
                       {"createTime", time},
                       {"versionTime", time}};
    return mObject{{"sourceType", "BACKUP"}, {"backupInfo", backupInfo}};
}

void SeedDatabase(World::Txn& world, const SeedEntry& entry, const std::string& instanceName,
                  int64_t instanceCreated) {
    entry.Allow({"name", "tables", "createTime", "state", "databaseDialect", "restoredFrom"});
    const std::string id = entry.RequiredText("name");
    if (!IsSpannerDatabaseId(id))
        entry.Fail("'" + id + "' is not a database id ([a-z][a-z0-9_-]*[a-z0-9], 2-30)");
    const std::string name = instanceName + "/databases/" + id;
    if (world.Find(collections::kSpannerDatabases, name)) entry.Fail(name + " is in the world twice");
    const std::string state = entry.Text("state", "READY");
    if (state != "READY" && state != "READY_OPTIMIZING") entry.Fail("'state' is READY or READY_OPTIMIZING");
    const std::string dialect = entry.Text("databaseDialect", "GOOGLE_STANDARD_SQL");
    if (dialect != "GOOGLE_STANDARD_SQL" && dialect != "POSTGRESQL")
        entry.Fail("'databaseDialect' is GOOGLE_STANDARD_SQL or POSTGRESQL");
    const int64_t created = entry.Time("createTime", instanceCreated, 30, name);
    mObject database = DatabaseResource(name, FormatMicrosTime(created, name), state, dialect);
    if (entry.Object("restoredFrom")) database["restoreInfo"] = RestoreInfo(entry, instanceName, created);
    std::vector<std::string> statements;
    std::set<std::string> tables;
    for (const std::string& table : entry.Texts("tables")) {
        if (!IsSpannerTableName(table)) entry.Fail("'" + table + "' is not a table name");
        if (!tables.insert(table).second) entry.Fail("table " + table + " is listed twice");
        statements.push_back(CreateTableStatement(table));
    }
    world.Put(collections::kSpannerDatabases, name, std::move(database));
    SetSpannerStatements(world, name, statements);
}

}  // namespace

void SpannerApi::Register(Router& router, EmulatorContext& context) {
    m_context = &context;
    const auto route = [this, &router](const char* method, const std::string& tail,
                                       Response (SpannerApi::*handler)(const Request&)) {
        router.Add(hosts::kSpanner, method, "/v1/projects/{project}/" + tail,
                   [this, handler](const Request& request, Response& response) {
                       response = (this->*handler)(request);
                   });
    };
    route("GET", "instanceConfigs/{config}", &SpannerApi::GetInstanceConfig);
    route("GET", "instances/?", &SpannerApi::ListInstances);
    route("GET", "instances/{instance}", &SpannerApi::GetInstance);
    route("GET", "instances/{instance}/databases/?", &SpannerApi::ListDatabases);
    route("POST", "instances/{instance}/databases/?", &SpannerApi::CreateDatabase);
    route("GET", "instances/{instance}/databases/{database}", &SpannerApi::GetDatabase);
    route("GET", "instances/{instance}/databases/{database}/ddl", &SpannerApi::GetDatabaseDdl);
    route("GET", "instances/{instance}/databases/{database}/operations/{operation}",
          &SpannerApi::GetOperation);
}

void SpannerApi::Seed(World::Txn& world) {
    for (const auto& [projectId, seed] : SeedProjects(world)) {
        const int64_t projectCreated =
            ParseRfc3339(ZkJson::GetStringValue(*world.FindProject(projectId), "createTime"));
        for (const SeedEntry& entry : SeedSection(*seed, "spannerInstances", "project " + projectId)) {
            entry.Allow({"name", "config", "displayName", "nodeCount", "processingUnits", "labels",
                         "createTime", "databases"});
            const std::string id = entry.RequiredText("name");
            if (!IsSpannerInstanceId(id))
                entry.Fail("'" + id + "' is not an instance id ([a-z][-a-z0-9]*[a-z0-9], 2-64)");
            const std::string config = entry.Text("config", "regional-us-central1");
            const std::string region = ConfigRegion(config);
            if (region.empty() ||
                !world.Find(collections::kRegions, "projects/" + projectId + "/regions/" + region))
                entry.Fail("config " + config + " is not regional-<a region of the project>");
            if (entry.Has("nodeCount") && entry.Has("processingUnits"))
                entry.Fail("give 'nodeCount' or 'processingUnits', not both");
            const int64_t units = entry.Has("processingUnits") ? entry.Integer("processingUnits", 0)
                                                               : entry.Integer("nodeCount", 1) * 1000;
            if (units <= 0 || units % (units < 1000 ? 100 : 1000) != 0)
                entry.Fail("processing units are 100 to 900 in hundreds, or whole nodes of 1000");
            const std::string name = "projects/" + projectId + "/instances/" + id;
            if (world.Find(collections::kSpannerInstances, name)) entry.Fail(name + " is in the world twice");
            const int64_t created = entry.Time("createTime", projectCreated, 180, name);
            mObject instance;
            instance["name"] = name;
            instance["config"] = "projects/" + projectId + "/instanceConfigs/" + config;
            instance["displayName"] = entry.Text("displayName", id);
            instance["nodeCount"] = units / 1000;
            instance["processingUnits"] = units;
            instance["state"] = "READY";
            instance["instanceType"] = "PROVISIONED";
            instance["createTime"] = instance["updateTime"] = FormatMicrosTime(created, name);
            const mObject labels = entry.TextMap("labels");
            if (!labels.empty()) instance["labels"] = labels;
            world.Put(collections::kSpannerInstances, name, std::move(instance));
            for (const SeedEntry& database : SeedSection(entry.object(), "databases", entry.where()))
                SeedDatabase(world, database, name, created);
        }
    }
}

std::string SpannerApi::InstanceName(const Request& request) {
    return "projects/" + request.Param("project") + "/instances/" + request.Param("instance");
}

std::string SpannerApi::DatabaseName(const Request& request) {
    return InstanceName(request) + "/databases/" + request.Param("database");
}

Response SpannerApi::ListPage(const Request& request, const KeyedResources& items, const std::string& scope,
                              const char* listKey) const {
    int64_t pageSize = 0;
    if (request.HasQuery("pageSize")) {
        const std::string text = request.Query("pageSize");
        size_t used = 0;
        try {
            pageSize = std::stoll(text, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (text.empty() || used != text.size() || pageSize > 2147483647LL || pageSize < -2147483648LL)
            return SpannerError(400, "Invalid value at 'page_size' (TYPE_INT32), \"" + text + "\"")
                .ToResponse();
    }
    if (pageSize <= 0 || pageSize > kLargestPage) pageSize = kLargestPage;
    if (m_context->options.pageSize > 0) pageSize = std::min<int64_t>(pageSize, m_context->options.pageSize);
    PageSlice slice;
    if (!SlicePage(items, static_cast<size_t>(pageSize), request.Query("pageToken"), scope, slice))
        return SpannerError(400, "Invalid pageToken: " + request.Query("pageToken")).ToResponse();
    mObject body;
    if (!slice.items.empty()) {
        mArray list;
        for (const mObject* item : slice.items) list.push_back(*item);
        body[listKey] = std::move(list);
    }
    if (!slice.nextPageToken.empty()) body["nextPageToken"] = slice.nextPageToken;
    return Response::Json(body);
}

Response SpannerApi::GetInstanceConfig(const Request& request) {
    const std::string projectId = request.Param("project");
    const std::string name = "projects/" + projectId + "/instanceConfigs/" + request.Param("config");
    World::Txn world = m_context->world.Lock();
    if (!world.FindProject(projectId))
        return SpannerMissingPermission("instanceConfigs.get", name).ToResponse();
    // Google's regional configs, for the regions the project sees.
    const std::string region = ConfigRegion(request.Param("config"));
    if (region.empty() || !world.Find(collections::kRegions, "projects/" + projectId + "/regions/" + region))
        return SpannerNotFound("Instance config", name).ToResponse();
    return Response::Json(InstanceConfigResource(projectId, region));
}

Response SpannerApi::ListInstances(const Request& request) {
    const std::string project = "projects/" + request.Param("project");
    World::Txn world = m_context->world.Lock();
    if (!world.FindProject(request.Param("project")))
        return SpannerMissingPermission("instances.list", project).ToResponse();
    KeyedResources items;
    for (const auto& [key, instance] : world.List(collections::kSpannerInstances, project + "/instances/"))
        items.emplace_back(key, instance);
    return ListPage(request, items, "spanner.instances\n" + project, "instances");
}

Response SpannerApi::GetInstance(const Request& request) {
    const std::string name = InstanceName(request);
    World::Txn world = m_context->world.Lock();
    if (!world.FindProject(request.Param("project")))
        return SpannerMissingPermission("instances.get", name).ToResponse();
    const mObject* instance = world.Find(collections::kSpannerInstances, name);
    return instance ? Response::Json(*instance) : SpannerNotFound("Instance", name).ToResponse();
}

std::unique_ptr<ApiFamily> MakeSpannerApi() {
    return std::make_unique<SpannerApi>();
}

}  // namespace gcemu
