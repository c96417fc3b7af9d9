// The host HTTP client: one object per connection, one reused connection (keep-alive, HTTP/1.1),
// TLS always verified. CA bundle, connect-to, proxy and timeouts come from the settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HostApi.h"
#include "HttpExchange.h"

class HOST_API ZKLibCurl {
public:
    enum RequestType { REQ_GET = 0, REQ_POST = 1, REQ_PUT = 2, REQ_DELETE = 3, REQ_HEAD = 4, REQ_PATCH = 5 };
    enum HeaderType { HEADER_REQUEST = 0 };
    // Receives the response body when a request asks for streaming; returns the bytes taken.
    typedef size_t (*WriteCallback)(const char* data, size_t size, void* context);

    // Largest signature SignSHA256withRSA writes (a 32768-bit key).
    static constexpr size_t kMaxSignatureBytes = 4096;

    ZKLibCurl();
    ~ZKLibCurl();
    ZKLibCurl(const ZKLibCurl&) = delete;
    ZKLibCurl& operator=(const ZKLibCurl&) = delete;

    // defaultHeader goes with every request that does not set the same header itself. keepAlive
    // reuses one connection; http11 sends HTTP/1.1 (both true in the library). The callback, when
    // given, receives bodies of requests sent with streaming on.
    bool ZKLibCurlInit(const char* defaultHeader, bool keepAlive, bool http11, WriteCallback callback,
                       void* callbackContext = nullptr);
    bool ZKLibCurlSetAdditionalOptionsIntValue(int option, long value);

    void ZKLibCurlFreeHttpHeaderList();
    // Adds a header line for the following requests; refuses other types and lines holding CR or LF.
    bool ZKLibCurlAppendHeader(int headerType, const char* line);

    // Sends one request and waits for the answer. True only when a response came with a 2xx status.
    // stream: hand the body to the write callback instead of keeping it. extraHeader: one more header
    // line for this request only (may be null).
    bool ZKLibCurlSendHttpReq(int requestType, const char* url, const char* body, size_t bodyLength,
                              bool stream, const char* extraHeader);

    // Body of the last response, NUL-terminated, or null when there was none; with rawHeaders the
    // header block instead.
    const char* GetHttpResponse(size_t& length, bool rawHeaders);
    // "HTTP": the status line of the last response with its line end; any other name: that header's
    // value (case-insensitive name), empty when absent.
    std::string GetHttpResponseHeader(const char* name) const;
    // HTTP status of the last response; 0 when none was received.
    int64_t GetHttpErrorCode() const;
    // What went wrong when the last request received no response.
    std::string GetLastTransportError() const;

    // RS256 (RSASSA-PKCS1-v1_5 over SHA-256) of data with the private key of a PKCS#12 file opened with
    // the password. signature must hold kMaxSignatureBytes; signatureLength receives the byte count.
    bool SignSHA256withRSA(const char* keyFilePath, const std::string& data, const char* password,
                           unsigned char* signature, unsigned int& signatureLength);
    // Why the last SignSHA256withRSA failed, in words a user can act on (naming the file); empty after
    // a success.
    std::string GetLastSignError() const;

private:
    std::unique_ptr<host::IHttpExchange> m_exchange;
    std::string m_defaultHeader;
    std::vector<std::string> m_headers;
    WriteCallback m_callback = nullptr;
    void* m_callbackContext = nullptr;
    host::HttpResponse m_last;
    std::string m_lastSignError;
};
