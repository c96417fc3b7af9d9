// IHttpExchange over one libcurl easy handle. The handle is kept for the life of the exchange so
// that curl keeps a connection (and the TLS session) open to every API host between requests. The
// options that never change are set once, at the first request; each request sets its URL, method,
// body and headers, and clears what the one before it set.
#include <curl/curl.h>

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/CurlManagedOptions.h"
#include "host/HbDebug.h"
#include "host/HttpExchange.h"

namespace host {

namespace {

constexpr const char* kUserAgent = "GoogleCloudSDKWrapper/1.0";
constexpr long kTcpKeepAliveSecs = 60;
// One kept connection per API host: a facade speaks to about nine (token, Compute, Resource Manager,
// KMS, Storage, Cloud SQL, Spanner, Dataflow...), and libcurl's default of 5 closed the oldest and
// made it shake hands again.
constexpr long kMaxConnections = 16;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string TrimmedLine(const char* data, size_t size) {
    while (size > 0 && (data[size - 1] == '\r' || data[size - 1] == '\n')) --size;
    return std::string(data, size);
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

class CurlHttpExchange : public IHttpExchange {
public:
    explicit CurlHttpExchange(const HttpClientOptions& options) : m_options(options) {
        GlobalInit();
        m_curl = curl_easy_init();
        // Any host, any port: the connection goes to HOST:PORT; TLS still checks the URL's host name.
        if (!m_options.connectTo.empty())
            m_connectTo.reset(curl_slist_append(nullptr, ("::" + m_options.connectTo).c_str()));
    }

    ~CurlHttpExchange() override {
        if (m_curl) curl_easy_cleanup(m_curl);
    }

    CurlHttpExchange(const CurlHttpExchange&) = delete;
    CurlHttpExchange& operator=(const CurlHttpExchange&) = delete;

    bool SetIntOption(int option, long value) override {
        HbDebug log;
        if (!m_curl) return false;
        // Signals are always off (the client lives inside a host process); asking for that again is fine.
        if (option == CURLOPT_NOSIGNAL) return value == 1;
        if (IsManagedCurlOption(option)) {
            log.Debug(__PRETTY_FUNCTION__, "libcurl option %d is managed by the HTTP client; refused",
                      option);
            return false;
        }
        // Only integer options: anything else would hand curl a number where it expects a pointer.
        const curl_easyoption* described = curl_easy_option_by_id(static_cast<CURLoption>(option));
        if (!described || (described->type != CURLOT_LONG && described->type != CURLOT_VALUES &&
                           described->type != CURLOT_OFF_T)) {
            log.Debug(__PRETTY_FUNCTION__, "libcurl option %d is not an integer option; refused", option);
            return false;
        }
        const CURLcode result = Apply(static_cast<CURLoption>(option), described->type, value);
        if (result != CURLE_OK) {
            log.Debug(__PRETTY_FUNCTION__, "libcurl option %d = %ld refused: %s", option, value,
                      curl_easy_strerror(result));
            return false;
        }
        m_extraOptions[static_cast<CURLoption>(option)] = {described->type, value};
        return true;
    }

    void Perform(const HttpRequest& request, HttpResponse& response) override {
        response = HttpResponse();
        if (!m_curl) {
            response.error = "the HTTP client could not be initialised";
            return;
        }
        std::string failure;
        if (!m_configured) {
            curl_easy_reset(m_curl);
            m_configured = ConfigureHandle(failure);
        }
        if (!m_configured) {
            response.error = failure;
            return;
        }
        m_errorBuffer[0] = '\0';
        m_receiving = &response;
        m_stall = Stall();
        m_tooLarge = false;
        m_stall.lastProgress = std::chrono::steady_clock::now();

        if (!ConfigureRequest(request, failure)) {
            ForgetRequest();
            m_receiving = nullptr;
            response = HttpResponse();
            response.error = failure;
            return;
        }

        const CURLcode result = curl_easy_perform(m_curl);
        m_receiving = nullptr;
        ForgetRequest();

        if (result != CURLE_OK) {
            // A partial answer (cut off mid-body, say) must not be taken for a response.
            response = HttpResponse();
            if (m_tooLarge || result == CURLE_FILESIZE_EXCEEDED)
                response.error = "the answer is larger than " +
                                 std::to_string(m_options.maxResponseBytes >> 20) +
                                 " MB (nHttpMaxResponseMB); it was refused";
            else if (m_stall.stalled)
                response.error = "nothing was sent or received for " + std::to_string(StallLimitSecs()) +
                                 " s; the request was given up";
            else
                response.error = m_errorBuffer[0] ? std::string(m_errorBuffer) : curl_easy_strerror(result);
            return;
        }
        long status = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
        response.completed = true;
        response.status = status;
    }

private:
    struct ExtraOption {
        curl_easytype type;
        long value;
    };

    CURLcode Apply(CURLoption option, curl_easytype type, long value) {
        if (type == CURLOT_OFF_T) return curl_easy_setopt(m_curl, option, static_cast<curl_off_t>(value));
        return curl_easy_setopt(m_curl, option, value);
    }

    // The options every request shares, on a handle just reset.
    bool ConfigureHandle(std::string& failure) {
        bool ok = true;
        auto set = [&ok](CURLcode result) { ok = ok && result == CURLE_OK; };

        // Settings a caller may adjust.
        // Never 0: libcurl takes a zero limit as none, and a dead server would hold the caller for ever.
        set(curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, std::max(1L, m_options.connectTimeoutSecs)));
        // The stall limit is ours (OnProgress): libcurl's low-speed check averages over a few seconds, so
        // a request body sent at once kept a stalled POST alive for seconds beyond the limit.
        set(curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L));
        // And a trickle of less than a byte a second for as long ends it too.
        set(curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L));
        set(curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, StallLimitSecs()));
        // An announced length beyond the cap is refused before the body; OnBody holds the rest to it.
        set(curl_easy_setopt(m_curl, CURLOPT_MAXFILESIZE_LARGE,
                             static_cast<curl_off_t>(m_options.maxResponseBytes)));
        set(curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &CurlHttpExchange::OnProgress));
        set(curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this));
        set(curl_easy_setopt(m_curl, CURLOPT_TCP_KEEPALIVE, 1L));
        set(curl_easy_setopt(m_curl, CURLOPT_TCP_KEEPIDLE, kTcpKeepAliveSecs));
        set(curl_easy_setopt(m_curl, CURLOPT_TCP_KEEPINTVL, kTcpKeepAliveSecs));
        set(curl_easy_setopt(m_curl, CURLOPT_USERAGENT, kUserAgent));
        set(curl_easy_setopt(m_curl, CURLOPT_ACCEPT_ENCODING, ""));
        set(curl_easy_setopt(m_curl, CURLOPT_MAXCONNECTS, kMaxConnections));
        if (!m_options.keepAlive) set(curl_easy_setopt(m_curl, CURLOPT_FORBID_REUSE, 1L));
        if (!m_options.proxy.empty()) set(curl_easy_setopt(m_curl, CURLOPT_PROXY, m_options.proxy.c_str()));
        for (const auto& [option, extra] : m_extraOptions) set(Apply(option, extra.type, extra.value));
        if (!ok) {
            failure = "the HTTP client options were refused by libcurl";
            return false;
        }

        // Settings nobody may change: verified TLS only, no redirects, one HTTP/1.1 connection.
        set(curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L));
        set(curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L));
        set(curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "https"));
        set(curl_easy_setopt(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, "https"));
        set(curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 0L));
        set(curl_easy_setopt(m_curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
        set(curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L));
        set(curl_easy_setopt(m_curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));
        if (!m_options.caBundle.empty())
            set(curl_easy_setopt(m_curl, CURLOPT_CAINFO, m_options.caBundle.c_str()));
        if (!m_options.connectTo.empty()) {
            if (!m_connectTo) {
                failure = "out of memory building the connect-to list";
                return false;
            }
            set(curl_easy_setopt(m_curl, CURLOPT_CONNECT_TO, m_connectTo.get()));
        }
        set(curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer));
        set(curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &CurlHttpExchange::OnHeader));
        set(curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this));
        set(curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CurlHttpExchange::OnBody));
        set(curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this));
        if (!ok) {
            failure = "libcurl refused the TLS settings";
            return false;
        }
        return true;
    }

    // What this request sets: URL, method, body, headers. ForgetRequest clears it afterwards.
    bool ConfigureRequest(const HttpRequest& request, std::string& failure) {
        bool ok = true;
        auto set = [&ok](CURLcode result) { ok = ok && result == CURLE_OK; };
        set(curl_easy_setopt(m_curl, CURLOPT_URL, request.url.c_str()));
        const std::string& method = request.method;
        // The method of the request before this one must not carry over.
        set(curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr)));
        set(curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L));
        // GET and HEAD never carry a body: Google's front end answers 400 to a GET that has one.
        const bool sendsBody = method == "POST" || method == "PUT" || method == "PATCH" ||
                               (method == "DELETE" && !request.body.empty());
        if (method == "HEAD") {
            set(curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L));
        } else if (sendsBody) {
            // POSTFIELDS with an explicit size: the body may hold NULs, and an empty body still goes
            // out with Content-Length: 0.
            set(curl_easy_setopt(m_curl, CURLOPT_POST, 1L));
            set(curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE,
                                 static_cast<curl_off_t>(request.body.size())));
            set(curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, request.body.data()));
            if (method != "POST") set(curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, method.c_str()));
        } else if (method == "GET" || method == "DELETE") {
            set(curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L));
            if (method != "GET") set(curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, method.c_str()));
        } else {
            failure = "unsupported HTTP method '" + method + "'";
            return false;
        }

        if (!HeaderList(request.headers)) {
            failure = "out of memory building the request headers";
            return false;
        }
        set(curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headerList.get()));
        if (!ok) {
            failure = "libcurl refused the request";
            return false;
        }
        return true;
    }

    // The header lines as curl's list, plus "Expect:" (without it curl waits up to a second for
    // "100 Continue" before sending larger bodies). A facade sends the same lines request after
    // request, so the list of the last request is kept and used again while they stay the same.
    bool HeaderList(const std::vector<std::string>& lines) {
        if (m_headerList && lines == m_headerLines) return true;
        m_headerList.reset();
        m_headerLines.clear();
        curl_slist* list = nullptr;
        bool hasExpect = false;
        for (const std::string& line : lines) {
            if (strncasecmp(line.c_str(), "Expect:", 7) == 0) hasExpect = true;
            curl_slist* grown = curl_slist_append(list, line.c_str());
            if (!grown) {
                curl_slist_free_all(list);
                return false;
            }
            list = grown;
        }
        if (!hasExpect) {
            curl_slist* grown = curl_slist_append(list, "Expect:");
            if (!grown) {
                curl_slist_free_all(list);
                return false;
            }
            list = grown;
        }
        m_headerList.reset(list);
        m_headerLines = lines;
        return true;
    }

    // Nothing of the request may stay on the handle: the body points into the caller's buffer.
    void ForgetRequest() {
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1));
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CurlHttpExchange*>(context);
        const size_t length = size * count;
        HttpResponse* response = self->m_receiving;
        if (!response) return length;
        if (length >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
            // A new response begins (after 100 Continue, or a proxy's answer): only the last counts.
            response->statusLine.assign(data, length);
            response->rawHeaders.assign(data, length);
            response->headers.clear();
            response->body.clear();
            return length;
        }
        response->rawHeaders.append(data, length);
        const std::string line = TrimmedLine(data, length);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && colon > 0)
            response->headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
        return length;
    }

    long StallLimitSecs() const { return std::max(1L, m_options.stallTimeoutSecs); }

    // Ends the request once the connection is up and no byte has gone either way for the stall limit.
    // libcurl calls this at least about once a second, also while nothing moves.
    static int OnProgress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
        auto* self = static_cast<CurlHttpExchange*>(context);
        Stall& stall = self->m_stall;
        const auto now = std::chrono::steady_clock::now();
        curl_off_t pretransfer = 0;
        // Connecting and the TLS handshake have the connect limit of their own.
        const bool connected =
            curl_easy_getinfo(self->m_curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) == CURLE_OK &&
            pretransfer > 0;
        if (!connected || received != stall.received || sent != stall.sent) {
            stall.received = received;
            stall.sent = sent;
            stall.lastProgress = now;
            return 0;
        }
        if (now - stall.lastProgress < std::chrono::seconds(self->StallLimitSecs())) return 0;
        stall.stalled = true;
        return 1;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CurlHttpExchange*>(context);
        const size_t length = size * count;
        if (!self->m_receiving) return length;
        std::string& body = self->m_receiving->body;
        if (body.size() + length > self->m_options.maxResponseBytes) {
            self->m_tooLarge = true;
            return 0;  // ends the transfer
        }
        body.append(data, length);
        return length;
    }

    struct SlistFree {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };

    HttpClientOptions m_options;
    CURL* m_curl = nullptr;
    std::map<CURLoption, ExtraOption> m_extraOptions;
    std::unique_ptr<curl_slist, SlistFree> m_connectTo;
    bool m_configured = false;               // the shared options are on the handle
    std::vector<std::string> m_headerLines;  // of m_headerList
    std::unique_ptr<curl_slist, SlistFree> m_headerList;
    HttpResponse* m_receiving = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};

    struct Stall {
        curl_off_t received = 0;
        curl_off_t sent = 0;
        std::chrono::steady_clock::time_point lastProgress;
        bool stalled = false;
    };
    Stall m_stall;
    bool m_tooLarge = false;
};

}  // namespace

std::unique_ptr<IHttpExchange> MakeCurlHttpExchange(const HttpClientOptions& options) {
    return std::make_unique<CurlHttpExchange>(options);
}

}  // namespace host
