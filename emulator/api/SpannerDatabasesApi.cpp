// Cloud Spanner databases: list, get, getDdl, create with a long-running operation, and the operation.
// https://cloud.google.com/spanner/docs/reference/rest/v1/projects.instances.databases
#include <cinttypes>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "emulator/SpannerModel.h"
#include "emulator/api/SpannerApi.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

struct CreateRequest {
    std::string id;
    std::vector<std::string> statements;
    std::string dialect = "GOOGLE_STANDARD_SQL";
};

// The body as Spanner reads a CreateDatabaseRequest; false with its 400.
bool ReadCreateRequest(const std::string& text, CreateRequest& request, GoogleError& error) {
    mObject body;
    if (!ZkJson::Unserialize(text, body)) {
        error = SpannerError(400, "Invalid JSON payload received. Unexpected token.");
        return false;
    }
    for (const auto& [name, value] : body) {
        if (name != "createStatement" && name != "extraStatements" && name != "databaseDialect" &&
            name != "encryptionConfig" && name != "protoDescriptors") {
            error = SpannerError(
                400, "Invalid JSON payload received. Unknown name \"" + name + "\": Cannot find field.");
            return false;
        }
    }
    const auto statement = body.find("createStatement");
    if (statement == body.end() || statement->second.type() != json_spirit::str_type ||
        statement->second.get_str().empty()) {
        error = SpannerError(
            400, "Invalid CreateDatabase request: create_statement must be a CREATE DATABASE statement.");
        return false;
    }
    if (!ParseCreateDatabase(statement->second.get_str(), request.id, error)) return false;
    if (const auto extra = body.find("extraStatements"); extra != body.end()) {
        if (extra->second.type() != json_spirit::array_type) {
            error = SpannerError(400, "Invalid value at 'extra_statements' (TYPE_STRING), " +
                                          ZkJson::Serialize(extra->second));
            return false;
        }
        for (const mValue& item : extra->second.get_array()) {
            if (item.type() != json_spirit::str_type) {
                error = SpannerError(
                    400, "Invalid value at 'extra_statements[]' (TYPE_STRING), " + ZkJson::Serialize(item));
                return false;
            }
            if (!CheckExtraStatement(item.get_str(), error)) return false;
            request.statements.push_back(item.get_str());
        }
    }
    if (const auto dialect = body.find("databaseDialect"); dialect != body.end()) {
        request.dialect = dialect->second.type() == json_spirit::str_type ? dialect->second.get_str() : "";
        if (request.dialect != "GOOGLE_STANDARD_SQL" && request.dialect != "POSTGRESQL") {
            error = SpannerError(400,
                                 "Invalid value at 'database_dialect' "
                                 "(type.googleapis.com/google.spanner.admin.database.v1.DatabaseDialect), " +
                                     ZkJson::Serialize(dialect->second));
            return false;
        }
    }
    return true;
}

std::string OperationId(World::Txn& world) {
    char id[32];
    std::snprintf(id, sizeof id, "_auto_op_%016" PRIx64, static_cast<uint64_t>(std::stoull(world.NewId())));
    return id;
}

}  // namespace

Response SpannerApi::ListDatabases(const Request& request) {
    const std::string instance = InstanceName(request);
    World::Txn world = m_context->world.Lock();
    if (!world.FindProject(request.Param("project")))
        return SpannerMissingPermission("databases.list", instance).ToResponse();
    if (!world.Find(collections::kSpannerInstances, instance))
        return SpannerNotFound("Instance", instance).ToResponse();
    KeyedResources items;
    for (const auto& [key, database] : world.List(collections::kSpannerDatabases, instance + "/databases/"))
        items.emplace_back(key, database);
    return ListPage(request, items, "spanner.databases\n" + instance, "databases");
}

Response SpannerApi::GetDatabase(const Request& request) {
    const std::string name = DatabaseName(request);
    World::Txn world = m_context->world.Lock();
    if (!world.FindProject(request.Param("project")))
        return SpannerMissingPermission("databases.get", name).ToResponse();
    const mObject* database = world.Find(collections::kSpannerDatabases, name);
    return database ? Response::Json(*database) : SpannerNotFound("Database", name).ToResponse();
}

Response SpannerApi::GetDatabaseDdl(const Request& request) {
    const std::string name = DatabaseName(request);
    World::Txn world = m_context->world.Lock();
    if (!world.FindProject(request.Param("project")))
        return SpannerMissingPermission("databases.getDdl", name).ToResponse();
    if (!world.Find(collections::kSpannerDatabases, name))
        return SpannerNotFound("Database", name).ToResponse();
    const std::vector<std::string> statements = SpannerStatements(world, name);
    mObject body;
    if (!statements.empty()) body["statements"] = mArray(statements.begin(), statements.end());
    return Response::Json(body);
}

Response SpannerApi::CreateDatabase(const Request& request) {
    const std::string instance = InstanceName(request);
    CreateRequest create;
    GoogleError error;
    const bool readable = ReadCreateRequest(request.body, create, error);
    World::Txn world = m_context->world.Lock();
    if (!world.FindProject(request.Param("project")))
        return SpannerMissingPermission("databases.create", instance).ToResponse();
    if (!world.Find(collections::kSpannerInstances, instance))
        return SpannerNotFound("Instance", instance).ToResponse();
    if (!readable) return error.ToResponse();
    const std::string name = instance + "/databases/" + create.id;
    if (world.Find(collections::kSpannerDatabases, name))
        return SpannerError(409, "Database already exists: " + name).ToResponse();

    // The database shows at once, CREATING, as on Google.
    world.Put(collections::kSpannerDatabases, name,
              DatabaseResource(name, FormatMicrosTime(host::Now(), name), "CREATING", create.dialect));
    SetSpannerStatements(world, name, create.statements);
    const std::string operationName = name + "/operations/" + OperationId(world);
    mObject metadata{{"@type", std::string(kSpannerTypes) + "CreateDatabaseMetadata"}, {"database", name}};
    world.Put(collections::kSpannerOperations, operationName,
              mObject{{"name", operationName}, {"metadata", metadata}, {"done", false}});

    SpannerOperations::Hooks hooks;
    hooks.end = [name, operationName](World::Txn& txn, const RpcFailure* injected) {
        mObject* operation = txn.Find(collections::kSpannerOperations, operationName);
        mObject* database = txn.Find(collections::kSpannerDatabases, name);
        if (!operation) return;
        (*operation)["done"] = true;
        if (injected || !database) {
            txn.Erase(collections::kSpannerDatabases, name);
            txn.Erase(collections::kSpannerSchemas, name);
            (*operation)["error"] = RpcStatus(injected ? *injected : RpcFailure{13, ""}, name);
            return;
        }
        (*database)["state"] = "READY";
        mObject response = *database;
        response["@type"] = std::string(kSpannerTypes) + "Database";
        (*operation)["response"] = response;
    };
    m_context->spannerOperations.Start(world, operationName, name, std::move(hooks));
    return Response::Json(*world.Find(collections::kSpannerOperations, operationName));
}

Response SpannerApi::GetOperation(const Request& request) {
    const std::string name = DatabaseName(request) + "/operations/" + request.Param("operation");
    World::Txn world = m_context->world.Lock();
    if (!world.FindProject(request.Param("project")))
        return SpannerMissingPermission("databases.operations.get", name).ToResponse();
    // Looking is what moves the operation on.
    m_context->spannerOperations.Poll(world, name);
    const mObject* operation = world.Find(collections::kSpannerOperations, name);
    return operation ? Response::Json(*operation) : SpannerNotFound("Operation", name).ToResponse();
}

}  // namespace gcemu
