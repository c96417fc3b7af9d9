// Google's error bodies: {"error":{"code":N,"message":"...","errors":[{"message":"...","domain":"global",
// "reason":"..."}],"status":"..."}}. Every error the emulator answers is built here.
#pragma once

#include <string>

#include "emulator/Http.h"
#include "host/json/JsonValue.h"

namespace gcemu {

struct GoogleError {
    int code = 500;
    std::string message;
    std::string reason;  // errors[0].reason; no errors[] when empty
    std::string status;  // canonical status name; left out when empty
    std::string domain = "global";
    // errors[0].message when it differs from the top-level one (Google's 401s do that).
    std::string detailMessage;
    // errors[0].location and locationType ("Authorization", "header"); left out when empty.
    std::string location;
    std::string locationType;

    json_spirit::mObject ToJson() const;
    Response ToResponse() const;
};

// The canonical status name and errors[] reason Google pairs with an HTTP status.
const char* CanonicalStatus(int httpStatus);
const char* CanonicalReason(int httpStatus);

// 400 INVALID_ARGUMENT, reason "invalid".
GoogleError InvalidArgument(const std::string& message);
// 403 PERMISSION_DENIED, reason "forbidden".
GoogleError PermissionDenied(const std::string& message);
// 404 "The resource '<name>' was not found", reason "notFound", NOT_FOUND.
GoogleError NotFound(const std::string& resourceName);
// The same as Compute Engine answers it: no "status" member.
GoogleError ComputeNotFound(const std::string& resourceName);
// 409 "The resource '<name>' already exists", reason "alreadyExists", ALREADY_EXISTS.
GoogleError AlreadyExists(const std::string& resourceName);
// 412 FAILED_PRECONDITION, reason "conditionNotMet".
GoogleError FailedPrecondition(const std::string& message);
// Any status with Google's usual text for it (fault injection with no body of its own).
GoogleError ForStatus(int httpStatus);
// As the APIs Google serves from gRPC answer (Cloud Spanner, Dataflow): code, message and status, no
// errors[].
GoogleError RpcError(int httpStatus, const std::string& message);

// google.rpc.Code: the number of a canonical status name ("ALREADY_EXISTS" -> 6), -1 for none; and the
// name of a number, null for none.
int RpcCode(const std::string& statusName);
const char* RpcStatusName(int code);

// 401 for a request without a bearer token, and for a token that is unknown, expired or revoked.
GoogleError MissingCredentials();
GoogleError InvalidCredentials();

// A path no API serves on that host.
GoogleError UnknownRoute(const std::string& method, const std::string& host, const std::string& path);

}  // namespace gcemu
