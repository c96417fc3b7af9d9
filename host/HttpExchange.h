// The seam under the host HTTP client: one request in, one response out. The real exchange is
// libcurl over TLS; unit tests install a scripted one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "HostApi.h"

namespace host {

struct HttpRequest {
    std::string method;  // "GET", "POST", "PUT", "DELETE", "HEAD", "PATCH"
    std::string url;
    std::vector<std::string> headers;  // complete header lines without line ends
    std::string body;
};

struct HttpResponse {
    bool completed = false;  // a response was received (whatever its status)
    long status = 0;         // HTTP status; 0 when none was received
    std::string statusLine;  // "HTTP/1.1 200 OK\r\n" of the final response
    std::vector<std::pair<std::string, std::string>> headers;  // of the final response, in order
    std::string rawHeaders;  // header block of the final response as received
    std::string body;
    std::string error;  // what went wrong when no response was received
};

// Connection settings read by the HTTP client at initialisation.
struct HttpClientOptions {
    std::string caBundle;   // PEM file of trusted roots; empty: the system store
    std::string connectTo;  // HOST:PORT every connection goes to (TLS still checks the URL's host)
    std::string proxy;
    long connectTimeoutSecs = 30;
    long stallTimeoutSecs = 120;               // no byte received for this long ends the request
    bool keepAlive = true;                     // one connection reused across requests
    uint64_t maxResponseBytes = 256ull << 20;  // a larger answer is refused, not held
};

class HOST_API IHttpExchange {
public:
    virtual ~IHttpExchange();
    // A libcurl option with an integer value; options that would weaken TLS checks are refused.
    virtual bool SetIntOption(int option, long value) = 0;
    virtual void Perform(const HttpRequest& request, HttpResponse& response) = 0;
};

using HttpExchangeFactory = std::function<std::unique_ptr<IHttpExchange>(const HttpClientOptions&)>;

// A new exchange from the installed factory, or the libcurl exchange when none is installed.
HOST_API std::unique_ptr<IHttpExchange> MakeHttpExchange(const HttpClientOptions& options);
HOST_API std::unique_ptr<IHttpExchange> MakeCurlHttpExchange(const HttpClientOptions& options);

// Installs a factory for the lifetime of the object; the previous one comes back at destruction.
class HOST_API ScopedHttpExchangeFactory {
public:
    explicit ScopedHttpExchangeFactory(HttpExchangeFactory factory);
    ~ScopedHttpExchangeFactory();
    ScopedHttpExchangeFactory(const ScopedHttpExchangeFactory&) = delete;
    ScopedHttpExchangeFactory& operator=(const ScopedHttpExchangeFactory&) = delete;

private:
    HttpExchangeFactory m_previous;
};

}  // namespace host
