// What Cloud Spanner v1 serves in gcemu and what Dataflow's Spanner templates read and write: the
// collections, Google's rules for ids and CREATE DATABASE statements, the InstanceConfig, Instance and
// Database resources, the tables of a database (kept as its DDL), and Cloud Spanner's errors.
// https://cloud.google.com/spanner/docs/reference/rest
#pragma once

#include <string>
#include <vector>

#include "emulator/GoogleErrors.h"
#include "emulator/World.h"
#include "host/json/JsonValue.h"

namespace gcemu {

namespace collections {
// Instance resources by "projects/<project>/instances/<id>".
inline constexpr char kSpannerInstances[] = "spanner.instances";
// Database resources by "projects/<project>/instances/<id>/databases/<id>".
inline constexpr char kSpannerDatabases[] = "spanner.databases";
// {"statements": [DDL]} by database name: its schema, which the Database resource does not show.
inline constexpr char kSpannerSchemas[] = "spanner.schemas";
// google.longrunning.Operation resources by name (".../databases/<id>/operations/<id>").
inline constexpr char kSpannerOperations[] = "spanner.operations";
}  // namespace collections

inline constexpr char kSpannerTypes[] = "type.googleapis.com/google.spanner.admin.database.v1.";

// Cloud Spanner's errors: code, message and status (no errors[]).
GoogleError SpannerError(int code, const std::string& message);
// 403 for a project the world lacks: "Caller is missing IAM permission spanner.<permission> on resource
// <resource>."
GoogleError SpannerMissingPermission(const std::string& permission, const std::string& resource);
// 404 "Instance not found: <name>", "Database not found: <name>", "Instance config not found: <name>".
GoogleError SpannerNotFound(const std::string& kind, const std::string& name);

// Database ids: [a-z][a-z0-9_-]*[a-z0-9], 2 to 30 characters.
bool IsSpannerDatabaseId(const std::string& id);
// Instance ids: [a-z][-a-z0-9]*[a-z0-9], 2 to 64 characters.
bool IsSpannerInstanceId(const std::string& id);
// Table names: a letter, then letters, digits and '_', at most 128 characters.
bool IsSpannerTableName(const std::string& name);

// The id of "CREATE DATABASE `id`" or "CREATE DATABASE id" (keywords in any case; an id holding a hyphen
// needs the backquotes). False with Cloud Spanner's 400 otherwise.
bool ParseCreateDatabase(const std::string& statement, std::string& id, GoogleError& error);
// A DDL statement of a new database's extraStatements: CREATE, ALTER or DROP. False with the 400.
bool CheckExtraStatement(const std::string& statement, GoogleError& error);

// The region of "regional-<region>"; empty when the config id is not one.
std::string ConfigRegion(const std::string& configId);
// The Google-managed regional config of the region, for the project.
json_spirit::mObject InstanceConfigResource(const std::string& projectId, const std::string& region);

// A Database as Google answers it; restoreInfo added by the caller where there is one.
json_spirit::mObject DatabaseResource(const std::string& name, const std::string& createTime,
                                      const std::string& state, const std::string& dialect);

// The tables of a database (its CREATE TABLE statements), in DDL order.
std::vector<std::string> SpannerTables(World::Txn& world, const std::string& database);
// The DDL statements of a database; empty for one without a schema.
std::vector<std::string> SpannerStatements(World::Txn& world, const std::string& database);
void SetSpannerStatements(World::Txn& world, const std::string& database,
                          const std::vector<std::string>& statements);
// A CREATE TABLE statement for a table of the world (its columns made up: an id and a name).
std::string CreateTableStatement(const std::string& table);

}  // namespace gcemu
