#include "tests/support/ScriptedHttp.h"

#include <memory>

namespace testsupport {
namespace {

const char* ReasonPhrase(long status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 409:
            return "Conflict";
        case 412:
            return "Precondition Failed";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

class ScriptedExchange : public host::IHttpExchange {
public:
    explicit ScriptedExchange(HttpScript& script) : m_script(script) {}
    bool SetIntOption(int option, long value) override {
        m_script.options.emplace_back(option, value);
        return option != 0;
    }
    void Perform(const host::HttpRequest& request, host::HttpResponse& response) override {
        m_script.requests.push_back(request);
        if (m_script.answers.empty()) {
            response = NoResponse("no scripted answer");
            return;
        }
        response = m_script.answers.front();
        m_script.answers.pop_front();
    }

private:
    HttpScript& m_script;
};

}  // namespace

host::HttpResponse Answer(long status, const std::string& body, const std::string& statusLine) {
    host::HttpResponse response;
    response.completed = true;
    response.status = status;
    response.statusLine = !statusLine.empty()
                              ? statusLine
                              : "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    response.headers = {{"Content-Type", "application/json"}};
    response.rawHeaders = response.statusLine + "Content-Type: application/json\r\n\r\n";
    response.body = body;
    return response;
}

host::HttpResponse NoResponse(const std::string& error) {
    host::HttpResponse response;
    response.error = error;
    return response;
}

ScriptedHttp::ScriptedHttp()
    : m_factory([this](const host::HttpClientOptions& options) -> std::unique_ptr<host::IHttpExchange> {
          script.made.push_back(options);
          return std::make_unique<ScriptedExchange>(script);
      }) {}

}  // namespace testsupport
