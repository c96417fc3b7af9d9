#include "emulator/GoogleErrors.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;

constexpr const char* kAuthHelp =
    " Expected OAuth 2 access token, login cookie or other valid authentication credential. See "
    "https://developers.google.com/identity/sign-in/web/devconsole-project.";

GoogleError Make(int code, const std::string& message) {
    GoogleError error;
    error.code = code;
    error.message = message;
    error.reason = CanonicalReason(code);
    error.status = CanonicalStatus(code);
    return error;
}

}  // namespace

mObject GoogleError::ToJson() const {
    mObject error;
    error["code"] = code;
    error["message"] = message;
    if (!reason.empty()) {
        mObject item;
        item["message"] = detailMessage.empty() ? message : detailMessage;
        item["domain"] = domain;
        item["reason"] = reason;
        if (!location.empty()) item["location"] = location;
        if (!locationType.empty()) item["locationType"] = locationType;
        error["errors"] = mArray{item};
    }
    if (!status.empty()) error["status"] = status;
    mObject body;
    body["error"] = error;
    return body;
}

Response GoogleError::ToResponse() const {
    return Response::Json(code, ToJson());
}

const char* CanonicalStatus(int httpStatus) {
    switch (httpStatus) {
        case 400:
            return "INVALID_ARGUMENT";
        case 401:
            return "UNAUTHENTICATED";
        case 403:
            return "PERMISSION_DENIED";
        case 404:
            return "NOT_FOUND";
        case 409:
            return "ALREADY_EXISTS";
        case 412:
            return "FAILED_PRECONDITION";
        case 429:
            return "RESOURCE_EXHAUSTED";
        case 499:
            return "CANCELLED";
        case 501:
            return "UNIMPLEMENTED";
        case 503:
            return "UNAVAILABLE";
        case 504:
            return "DEADLINE_EXCEEDED";
        default:
            return httpStatus >= 500 ? "INTERNAL" : "UNKNOWN";
    }
}

const char* CanonicalReason(int httpStatus) {
    switch (httpStatus) {
        case 400:
            return "invalid";
        case 401:
            return "authError";
        case 403:
            return "forbidden";
        case 404:
            return "notFound";
        case 409:
            return "alreadyExists";
        case 412:
            return "conditionNotMet";
        case 429:
            return "rateLimitExceeded";
        case 503:
            return "backendError";
        default:
            return httpStatus >= 500 ? "backendError" : "invalid";
    }
}

GoogleError InvalidArgument(const std::string& message) {
    return Make(400, message);
}

GoogleError PermissionDenied(const std::string& message) {
    return Make(403, message);
}

GoogleError NotFound(const std::string& resourceName) {
    return Make(404, "The resource '" + resourceName + "' was not found");
}

GoogleError ComputeNotFound(const std::string& resourceName) {
    GoogleError error = NotFound(resourceName);
    error.status.clear();
    return error;
}

GoogleError AlreadyExists(const std::string& resourceName) {
    return Make(409, "The resource '" + resourceName + "' already exists");
}

GoogleError FailedPrecondition(const std::string& message) {
    return Make(412, message);
}

GoogleError ForStatus(int httpStatus) {
    switch (httpStatus) {
        case 400:
            return Make(400, "Invalid value.");
        case 401:
            return InvalidCredentials();
        case 403:
            return Make(403, "The caller does not have permission");
        case 404:
            return Make(404, "Requested entity was not found.");
        case 409:
            return Make(409, "Requested entity already exists");
        case 412:
            return Make(412, "Precondition check failed.");
        case 429:
            return Make(429, "Rate Limit Exceeded");
        case 503:
            return Make(503, "The service is currently unavailable.");
        case 504:
            return Make(504, "The request timed out. Please try again.");
        default:
            return Make(httpStatus, httpStatus >= 500 ? "Internal error encountered." : "Request failed.");
    }
}

GoogleError RpcError(int httpStatus, const std::string& message) {
    GoogleError error = Make(httpStatus, message);
    error.reason.clear();
    return error;
}

namespace {
// In google.rpc.Code's order: the index is the number.
constexpr const char* kRpcCodes[] = {
    "OK",        "CANCELLED",      "UNKNOWN",           "INVALID_ARGUMENT",   "DEADLINE_EXCEEDED",
    "NOT_FOUND", "ALREADY_EXISTS", "PERMISSION_DENIED", "RESOURCE_EXHAUSTED", "FAILED_PRECONDITION",
    "ABORTED",   "OUT_OF_RANGE",   "UNIMPLEMENTED",     "INTERNAL",           "UNAVAILABLE",
    "DATA_LOSS", "UNAUTHENTICATED"};
}  // namespace

int RpcCode(const std::string& statusName) {
    for (size_t code = 0; code < sizeof kRpcCodes / sizeof kRpcCodes[0]; ++code)
        if (statusName == kRpcCodes[code]) return static_cast<int>(code);
    return -1;
}

const char* RpcStatusName(int code) {
    return code >= 0 && code < static_cast<int>(sizeof kRpcCodes / sizeof kRpcCodes[0]) ? kRpcCodes[code]
                                                                                        : nullptr;
}

GoogleError MissingCredentials() {
    GoogleError error =
        Make(401, std::string("Request is missing required authentication credential.") + kAuthHelp);
    error.reason = "required";
    error.detailMessage = "Login Required.";
    error.location = "Authorization";
    error.locationType = "header";
    return error;
}

GoogleError InvalidCredentials() {
    GoogleError error = Make(401, std::string("Request had invalid authentication credentials.") + kAuthHelp);
    error.reason = "authError";
    error.detailMessage = "Invalid Credentials";
    error.location = "Authorization";
    error.locationType = "header";
    return error;
}

GoogleError UnknownRoute(const std::string& method, const std::string& host, const std::string& path) {
    return Make(404, "The requested URL was not found on this server: " + method + " https://" + host + path);
}

}  // namespace gcemu
