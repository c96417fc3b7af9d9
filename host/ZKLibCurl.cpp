#include "host/ZKLibCurl.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "host/HbDebug.h"
#include "host/Settings.h"

namespace {

// Bodies handed to the write callback in pieces no larger than curl's own.
constexpr size_t kCallbackChunk = 64 * 1024;

bool HasLineBreak(const char* line) {
    return std::strpbrk(line, "\r\n") != nullptr;
}

// The name of a header line ("Name: value", or curl's "Name;" for an empty value), trimmed.
std::string HeaderName(const std::string& line) {
    std::string name = line.substr(0, line.find_first_of(":;"));
    const size_t first = name.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

const char* ZKLibCurl::MethodName(int requestType) {
    switch (requestType) {
        case REQ_GET:
            return "GET";
        case REQ_POST:
            return "POST";
        case REQ_PUT:
            return "PUT";
        case REQ_DELETE:
            return "DELETE";
        case REQ_HEAD:
            return "HEAD";
        case REQ_PATCH:
            return "PATCH";
        default:
            return nullptr;
    }
}

ZKLibCurl::ZKLibCurl() = default;
ZKLibCurl::~ZKLibCurl() = default;

bool ZKLibCurl::ZKLibCurlInit(const char* defaultHeader, bool keepAlive, bool http11, WriteCallback callback,
                              void* callbackContext) {
    HbDebug log;
    if (m_exchange) return true;
    if (defaultHeader && HasLineBreak(defaultHeader)) {
        log.Error(__PRETTY_FUNCTION__, "the default header holds a line break; refused");
        return false;
    }
    // Requests always go as HTTP/1.1 whatever http11 says: the client relies on one kept connection.
    (void)http11;

    host::HttpClientOptions options;
    options.caBundle = host::settings::Read(host::settings::kCaBundle);
    options.connectTo = host::settings::Read(host::settings::kConnectTo);
    options.proxy = host::settings::Read(host::settings::kProxy);
    options.connectTimeoutSecs = static_cast<long>(host::settings::Read(host::settings::kHttpConnectTimeout));
    options.stallTimeoutSecs = static_cast<long>(host::settings::Read(host::settings::kHttpStallTimeout));
    options.keepAlive = keepAlive;
    options.maxResponseBytes = static_cast<uint64_t>(host::settings::Read(host::settings::kHttpMaxResponseMB))
                               << 20;

    m_exchange = host::MakeHttpExchange(options);
    if (!m_exchange) {
        log.Error(__PRETTY_FUNCTION__, "the HTTP client could not be created");
        return false;
    }
    m_defaultHeader = defaultHeader ? defaultHeader : "";
    m_callback = callback;
    m_callbackContext = callbackContext;
    if (!options.connectTo.empty() || !options.caBundle.empty())
        log.DebugLvl(__PRETTY_FUNCTION__, 1, "HTTP client: CA bundle '%s', connect-to '%s'",
                     options.caBundle.c_str(), options.connectTo.c_str());
    return true;
}

bool ZKLibCurl::ZKLibCurlSetAdditionalOptionsIntValue(int option, long value) {
    if (!m_exchange) return false;
    return m_exchange->SetIntOption(option, value);
}

void ZKLibCurl::ZKLibCurlFreeHttpHeaderList() {
    m_headers.clear();
}

bool ZKLibCurl::ZKLibCurlAppendHeader(int headerType, const char* line) {
    if (headerType != HEADER_REQUEST || !line || !*line) return false;
    if (HasLineBreak(line)) {
        HbDebug().Error(__PRETTY_FUNCTION__, "a header line holding a line break was refused");
        return false;
    }
    m_headers.emplace_back(line);
    return true;
}

bool ZKLibCurl::ZKLibCurlSendHttpReq(int requestType, const char* url, const char* body, size_t bodyLength,
                                     bool stream, const char* extraHeader) {
    HbDebug log;
    m_last = host::HttpResponse();
    if (!m_exchange) {
        log.Error(__PRETTY_FUNCTION__, "the HTTP client is not initialised");
        return false;
    }
    const char* method = MethodName(requestType);
    if (!method) {
        log.Error(__PRETTY_FUNCTION__, "unknown request type %d", requestType);
        return false;
    }
    if (!url || !*url || (!body && bodyLength > 0)) {
        log.Error(__PRETTY_FUNCTION__, "%s request without %s", method, url && *url ? "its body" : "a URL");
        return false;
    }
    if (extraHeader && HasLineBreak(extraHeader)) {
        log.Error(__PRETTY_FUNCTION__, "a header line holding a line break was refused");
        return false;
    }

    host::HttpRequest request;
    request.method = method;
    request.url = url;
    if (body) request.body.assign(body, bodyLength);
    request.headers = m_headers;
    if (extraHeader && *extraHeader) request.headers.emplace_back(extraHeader);
    if (!m_defaultHeader.empty()) {
        const std::string defaultName = HeaderName(m_defaultHeader);
        const bool replaced =
            std::any_of(request.headers.begin(), request.headers.end(),
                        [&](const std::string& line) { return SameName(HeaderName(line), defaultName); });
        if (!replaced) request.headers.push_back(m_defaultHeader);
    }

    m_exchange->Perform(request, m_last);
    if (!m_last.completed) {
        log.Error(__PRETTY_FUNCTION__, "%s %s failed: %s", method, url, m_last.error.c_str());
        return false;
    }
    const bool success = m_last.status >= 200 && m_last.status < 300;
    log.DebugLvl(__PRETTY_FUNCTION__, 2, "%s %s: HTTP %ld, %zu bytes", method, url, m_last.status,
                 m_last.body.size());

    // Only a successful body is streamed; an error body stays for the caller to read.
    if (stream && success && m_callback) {
        for (size_t offset = 0; offset < m_last.body.size(); offset += kCallbackChunk) {
            const size_t size = std::min(kCallbackChunk, m_last.body.size() - offset);
            if (m_callback(m_last.body.data() + offset, size, m_callbackContext) != size) {
                log.Error(__PRETTY_FUNCTION__, "%s %s: the receiver stopped taking the body", method, url);
                m_last.body.clear();
                return false;
            }
        }
        m_last.body.clear();
    }
    return success;
}

const char* ZKLibCurl::GetHttpResponse(size_t& length, bool rawHeaders) {
    if (!m_last.completed) {
        length = 0;
        return nullptr;
    }
    const std::string& text = rawHeaders ? m_last.rawHeaders : m_last.body;
    length = text.size();
    return text.c_str();
}

std::string ZKLibCurl::GetHttpResponseHeader(const char* name) const {
    if (!name || !m_last.completed) return std::string();
    if (strcasecmp(name, "HTTP") == 0) return m_last.statusLine;
    for (const auto& [headerName, value] : m_last.headers)
        if (strcasecmp(headerName.c_str(), name) == 0) return value;
    return std::string();
}

int64_t ZKLibCurl::GetHttpErrorCode() const {
    return m_last.status;
}

std::string ZKLibCurl::GetLastTransportError() const {
    return m_last.error;
}
