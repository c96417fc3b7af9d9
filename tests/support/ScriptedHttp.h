// A scripted HTTP exchange behind the host HTTP client: canned answers in order, every request and
// option recorded. Installed for the lifetime of a ScriptedHttp object.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "host/HttpExchange.h"
#include "host/ZKLibCurl.h"

namespace testsupport {

struct HttpScript {
    std::vector<host::HttpClientOptions> made;  // one per exchange created
    std::vector<host::HttpRequest> requests;
    std::vector<std::pair<int, long>> options;
    std::deque<host::HttpResponse> answers;
};

// A received response with the standard reason phrase ("HTTP/1.1 401 Unauthorized\r\n") unless one
// is given.
host::HttpResponse Answer(long status, const std::string& body, const std::string& statusLine = "");
// No response at all (connection refused, TLS failure).
host::HttpResponse NoResponse(const std::string& error = "Could not connect to server");

class ScriptedHttp {
public:
    ScriptedHttp();
    ScriptedHttp(const ScriptedHttp&) = delete;
    ScriptedHttp& operator=(const ScriptedHttp&) = delete;

    void Queue(host::HttpResponse response) { script.answers.push_back(std::move(response)); }

    HttpScript script;

private:
    host::ScopedHttpExchangeFactory m_factory;
};

// The client's last response body, or "<null>" when it has none.
inline std::string LastBody(ZKLibCurl& client) {
    size_t length = 0;
    const char* body = client.GetHttpResponse(length, false);
    return body ? std::string(body, length) : std::string("<null>");
}

}  // namespace testsupport
