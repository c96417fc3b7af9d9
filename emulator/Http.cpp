#include "emulator/Http.h"

#include "host/ZkJson.h"

namespace gcemu {
namespace {

std::string First(const StringMultimap& values, const std::string& name) {
    const auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
}

}  // namespace

std::string Request::Header(const std::string& lowerCaseName) const {
    return First(headers, lowerCaseName);
}

std::string Request::Query(const std::string& name) const {
    return First(query, name);
}

std::string Request::Param(const std::string& name) const {
    const auto found = params.find(name);
    return found == params.end() ? std::string() : found->second;
}

Response Response::Json(int status, const json_spirit::mValue& body) {
    Response response;
    response.status = status;
    response.body = ZkJson::Serialize(body);
    return response;
}

}  // namespace gcemu
