// The request and response as API handlers see them, free of the HTTP server library.
#pragma once

#include <map>
#include <string>

#include "host/json/JsonValue.h"

namespace gcemu {

using StringMultimap = std::multimap<std::string, std::string>;

struct Request {
    std::string method;    // upper case, as sent
    std::string host;      // Host header without the port, lower case
    std::string path;      // as sent, still percent-encoded
    std::string rawQuery;  // after '?', as sent
    StringMultimap query;  // decoded query parameters
    std::string body;
    StringMultimap headers;                     // names in lower case
    std::map<std::string, std::string> params;  // captured by the route template, decoded

    // First value, or empty text when absent.
    std::string Header(const std::string& lowerCaseName) const;
    std::string Query(const std::string& name) const;
    bool HasQuery(const std::string& name) const { return query.count(name) != 0; }
    std::string Param(const std::string& name) const;
};

struct Response {
    int status = 200;
    std::string body;
    std::string contentType = "application/json; charset=UTF-8";
    StringMultimap headers;
    // More than body.size(): the Content-Length announced, after which the connection ends short of it.
    size_t declaredLength = 0;

    static Response Json(int status, const json_spirit::mValue& body);
    static Response Json(const json_spirit::mValue& body) { return Json(200, body); }
};

}  // namespace gcemu
