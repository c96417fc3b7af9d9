// Cloud Spanner's long-running operations (google.longrunning.Operation): a database creation answers
// {"name", "metadata", "done": false}, and polls of the operation bring it to "done": true with the
// Database as "response", or with "error", a google.rpc.Status whose code is a number.
#pragma once

#include <string>

#include "emulator/PolledWork.h"
#include "host/json/JsonValue.h"

namespace gcemu {

// What an operation fails with. The message may name {target} (the database's relative name) and
// {instance}; empty: Google's usual text for the code.
struct RpcFailure {
    int code = 13;  // google.rpc.Code: 6 ALREADY_EXISTS, 8 RESOURCE_EXHAUSTED, 13 INTERNAL...
    std::string message;
};

// Faults match the target database's relative name ("projects/p/instances/i/databases/").
using SpannerOperations = PolledWork<RpcFailure>;

// {"targetPrefix", "count", "code" (a number or a status name, INTERNAL when absent), "message"} of the
// control API. Throws std::invalid_argument.
SpannerOperations::Fault SpannerFaultFromJson(const json_spirit::mObject& json);

// {"code": N, "message": "..."} for the failure of an operation on the database.
json_spirit::mObject RpcStatus(const RpcFailure& failure, const std::string& database);

}  // namespace gcemu
