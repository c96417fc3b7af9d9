// Cloud Spanner v1 on spanner.googleapis.com as the library uses it: instance configs (get), instances
// (list, get), databases (list, get, getDdl, create) and the creations' long-running operations (get).
// https://cloud.google.com/spanner/docs/reference/rest
//
// One family, its handlers by resource: instance configs and instances here and in SpannerApi.cpp (with
// the routes and the seeding from the world), databases and their operations in SpannerDatabasesApi.cpp.
#pragma once

#include <string>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeLists.h"

namespace gcemu {

class SpannerApi : public ApiFamily {
public:
    const char* Name() const override { return "spanner"; }
    void Register(Router& router, EmulatorContext& context) override;
    // A project's "spannerInstances": [{"name", "config" (regional-<region of the project>), "displayName",
    // "nodeCount" (1) or "processingUnits", "labels", "createTime", "databases": [{"name", "tables",
    // "createTime", "state", "databaseDialect", "restoredFrom": {"backup", "sourceDatabase",
    // "createTime"}}]}].
    void Seed(World::Txn& world) override;

private:
    Response GetInstanceConfig(const Request& request);
    Response ListInstances(const Request& request);
    Response GetInstance(const Request& request);

    Response ListDatabases(const Request& request);
    Response GetDatabase(const Request& request);
    Response GetDatabaseDdl(const Request& request);
    // A CREATE DATABASE statement and extra DDL: the database CREATING at once, READY when its operation
    // is done (gone again when the operation fails).
    Response CreateDatabase(const Request& request);
    Response GetOperation(const Request& request);

    // pageSize and pageToken over the items; the body holds them under listKey (left out when empty).
    Response ListPage(const Request& request, const KeyedResources& items, const std::string& scope,
                      const char* listKey) const;
    // "projects/p/instances/i" of the path.
    static std::string InstanceName(const Request& request);
    static std::string DatabaseName(const Request& request);

    EmulatorContext* m_context = nullptr;
};

}  // namespace gcemu
