// What Cloud SQL Admin v1beta4 serves in gcemu: the instance collection, the DatabaseInstance resource
// made from a world entry (settings, addresses, server CA certificate, replicas linked both ways), and
// Cloud SQL's errors.
// https://cloud.google.com/sql/docs/mysql/admin-api/rest/v1beta4/instances
#pragma once

#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "emulator/Http.h"
#include "emulator/World.h"
#include "host/json/JsonValue.h"

namespace gcemu {

namespace collections {
// sql#instance resources by "projects/<project>/instances/<name>".
inline constexpr char kSqlInstances[] = "sql.instances";
}  // namespace collections

// Cloud SQL's errors: errors[] with its own reason, no status member.
Response SqlError(int code, const std::string& reason, const std::string& message);
// 403 notAuthorized, as Cloud SQL answers for a project the caller cannot see.
Response SqlNotAuthorized();
// 404 instanceDoesNotExist.
Response SqlInstanceDoesNotExist();

// Lower-case letters, digits and hyphens, a letter first and no hyphen last; with the project id at most
// 98 characters.
bool IsSqlInstanceName(const std::string& name, const std::string& projectId);

// The project's "sqlInstances" entries as sql#instance resources, in entry order: each checked (names,
// versions, enums, networks of the world, replicas of a primary of the same version), replicaNames and
// failoverReplica filled in from the replicas. Throws std::invalid_argument naming the entry.
std::vector<json_spirit::mObject> SeedSqlInstances(World::Txn& world, const std::string& projectId,
                                                   const std::vector<SeedEntry>& entries);

}  // namespace gcemu
