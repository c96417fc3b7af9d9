#include "emulator/SpannerOperations.h"

#include <stdexcept>

#include "emulator/GoogleErrors.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

namespace {

std::string UsualMessage(int code) {
    switch (code) {
        case 4:
            return "Deadline Exceeded";
        case 6:
            return "Database already exists: {target}";
        case 8:
            return "Too many databases on instance {instance}. Limit: 100.";
        case 9:
            return "Cannot create database {target}: the instance {instance} is being updated.";
        case 13:
            return "Internal error encountered.";
        case 14:
            return "The service is currently unavailable.";
        default:
            return std::string("Operation failed: ") + RpcStatusName(code) + ".";
    }
}

void Fill(std::string& text, const std::string& field, const std::string& value) {
    for (size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size()))
        text.replace(at, field.size(), value);
}

}  // namespace

SpannerOperations::Fault SpannerFaultFromJson(const mObject& json) {
    SpannerOperations::Fault fault;
    try {
        for (const auto& [name, value] : json) {
            if (name == "targetPrefix") {
                fault.prefix = value.get_str();
            } else if (name == "count") {
                fault.count = value.get_int();
            } else if (name == "code") {
                fault.failure.code =
                    value.type() == json_spirit::str_type ? RpcCode(value.get_str()) : value.get_int();
            } else if (name == "message") {
                fault.failure.message = value.get_str();
            } else {
                throw std::invalid_argument("unknown Spanner operation fault member '" + name + "'");
            }
        }
    } catch (const std::runtime_error& error) {  // a member of the wrong type
        throw std::invalid_argument(std::string("bad Spanner operation fault: ") + error.what());
    }
    if (fault.failure.code <= 0 || !RpcStatusName(fault.failure.code))
        throw std::invalid_argument(
            "\"code\" must be a google.rpc.Code other than OK, as a number or a name");
    if (fault.count <= 0) throw std::invalid_argument("a fault needs a count of at least 1");
    return fault;
}

mObject RpcStatus(const RpcFailure& failure, const std::string& database) {
    std::string message = failure.message.empty() ? UsualMessage(failure.code) : failure.message;
    Fill(message, "{target}", database);
    Fill(message, "{instance}", database.substr(0, database.find("/databases/")));
    return mObject{{"code", failure.code}, {"message", message}};
}

}  // namespace gcemu
