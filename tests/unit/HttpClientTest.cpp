// The host HTTP client against a local TLS server (certificates from our own CA, reached through the
// connect-to setting), and ZKLibCurl over a scripted exchange.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/CertificateAuthority.h"
#include "host/HttpExchange.h"
#include "host/ZKLibCurl.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kDefaultHeader = "Content-Type: application/x-www-form-urlencoded";
constexpr const char* kBase = "https://compute.googleapis.com/compute/v1/projects/p1";

struct Seen {
    std::string method;
    std::string path;
    std::string body;
    httplib::Headers headers;
    int remotePort = 0;
};

// An HTTPS server on an ephemeral port of 127.0.0.1 answering by path.
class TlsServer {
public:
    explicit TlsServer(const gcemu::KeyedCertificate& certificate)
        : m_server(certificate.certificate(), certificate.key()) {
        auto handler = [this](const httplib::Request& request, httplib::Response& response) {
            Handle(request, response);
        };
        m_server.Get(".*", handler);
        m_server.Post(".*", handler);
        m_server.Put(".*", handler);
        m_server.Patch(".*", handler);
        m_server.Delete(".*", handler);
        m_server.set_tcp_nodelay(true);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 2000 && !m_server.is_running(); ++i) std::this_thread::sleep_for(1ms);
    }

    ~TlsServer() {
        ReleaseStall();
        m_server.stop();
        m_thread.join();
    }

    int port() const { return m_port; }

    std::vector<Seen> Requests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

    void ReleaseStall() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_wake.notify_all();
    }

    static std::string BigJson() {
        std::string json = "{\"items\":[";
        for (int i = 0; i < 3000; ++i)
            json += (i ? "," : "") + std::string("{\"name\":\"disk-") + std::to_string(i) + "\"}";
        return json + "]}";
    }

private:
    void Handle(const httplib::Request& request, httplib::Response& response) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_seen.push_back({request.method, request.path, request.body, request.headers, request.remote_port});
        const std::string& path = request.path;
        if (path.find("/missing") != std::string::npos) {
            response.status = 404;
            response.set_content(R"({"error":{"code":404,"message":"not found"}})", "application/json");
        } else if (path.find("/empty") != std::string::npos) {
            response.status = 204;
        } else if (path.find("/redirect") != std::string::npos) {
            response.status = 302;
            response.set_header("Location", std::string(kBase) + "/elsewhere");
        } else if (path.find("/big") != std::string::npos) {
            response.set_content(BigJson(), "application/json");
        } else if (path.find("/stall") != std::string::npos) {
            m_wake.wait_for(lock, 3s, [this] { return m_released; });
            response.set_content("late", "text/plain");
        } else {
            response.set_header("X-Request-Method", request.method);
            response.set_content(R"({"kind":"compute#operation"})", "application/json");
        }
    }

    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_released = false;
    std::vector<Seen> m_seen;
};

std::string HeaderOf(const httplib::Headers& headers, const std::string& name) {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

std::string SettingsFor(const std::string& caFile, int port, int stallSecs = 30) {
    return "[GoogleCloud]\nsCaBundle=" + caFile + "\nsConnectTo=127.0.0.1:" + std::to_string(port) +
           "\nnHttpConnectTimeoutSecs=5\nnHttpStallTimeoutSecs=" + std::to_string(stallSecs) + "\n";
}

std::string Body(ZKLibCurl& client) {
    size_t length = 0;
    const char* body = client.GetHttpResponse(length, false);
    return body ? std::string(body, length) : std::string("<null>");
}

class HttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The server writes to sockets the client may already have closed.
        std::signal(SIGPIPE, SIG_IGN);
        s_ca = new gcemu::CertificateAuthority();
        s_files = new testsupport::TempDir();
        s_caFile = s_files->Write("ca.pem", s_ca->CertificatePem());
        s_serverCertificate = new gcemu::KeyedCertificate(
            s_ca->IssueServerCertificate({"*.googleapis.com", "localhost"}, {"127.0.0.1"}));
    }
    static void TearDownTestSuite() {
        delete s_serverCertificate;
        delete s_files;
        delete s_ca;
    }

    static gcemu::CertificateAuthority* s_ca;
    static testsupport::TempDir* s_files;
    static std::string s_caFile;
    static gcemu::KeyedCertificate* s_serverCertificate;
};

gcemu::CertificateAuthority* HttpClientTest::s_ca = nullptr;
testsupport::TempDir* HttpClientTest::s_files = nullptr;
std::string HttpClientTest::s_caFile;
gcemu::KeyedCertificate* HttpClientTest::s_serverCertificate = nullptr;

TEST_F(HttpClientTest, MethodsAndBodiesArriveAsSent) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()));
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));

    struct Case {
        int type;
        const char* method;
        std::string body;
    };
    const Case cases[] = {
        {ZKLibCurl::REQ_GET, "GET", ""},
        {ZKLibCurl::REQ_POST, "POST", "grant_type=jwt-bearer&assertion=abc"},
        {ZKLibCurl::REQ_POST, "POST", ""},
        {ZKLibCurl::REQ_POST, "POST", std::string("bin\0ary\0", 8)},
        {ZKLibCurl::REQ_PUT, "PUT", R"({"labels":{"a":"b"}})"},
        {ZKLibCurl::REQ_PATCH, "PATCH", R"({"description":"x"})"},
        {ZKLibCurl::REQ_PATCH, "PATCH", ""},
        {ZKLibCurl::REQ_DELETE, "DELETE", ""},
        {ZKLibCurl::REQ_DELETE, "DELETE", "{}"},
        {ZKLibCurl::REQ_GET, "GET", ""},  // nothing of the previous request stays behind
        {ZKLibCurl::REQ_HEAD, "HEAD", ""},
        {ZKLibCurl::REQ_GET, "GET", "dropped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " with " + std::to_string(c.body.size()) + " bytes");
        const size_t before = server.Requests().size();
        ASSERT_TRUE(client.ZKLibCurlSendHttpReq(c.type, (std::string(kBase) + "/op").c_str(), c.body.data(),
                                                c.body.size(), false, nullptr))
            << client.GetLastTransportError();
        const std::vector<Seen> seen = server.Requests();
        ASSERT_EQ(seen.size(), before + 1);
        const Seen& request = seen.back();
        EXPECT_EQ(request.method, c.method);
        EXPECT_EQ(request.path, "/compute/v1/projects/p1/op");
        EXPECT_EQ(request.body, c.type == ZKLibCurl::REQ_GET ? "" : c.body);
        EXPECT_EQ(HeaderOf(request.headers, "User-Agent"), "GoogleCloudSDKWrapper/1.0");
        EXPECT_EQ(HeaderOf(request.headers, "Host"), "compute.googleapis.com");
        const bool sendsBody =
            c.type == ZKLibCurl::REQ_POST || c.type == ZKLibCurl::REQ_PUT || c.type == ZKLibCurl::REQ_PATCH;
        if (sendsBody) {
            EXPECT_EQ(HeaderOf(request.headers, "Content-Length"), std::to_string(c.body.size()));
        }
        EXPECT_EQ(client.GetHttpErrorCode(), 200);
        EXPECT_EQ(client.GetHttpResponseHeader("HTTP"), "HTTP/1.1 200 OK\r\n");
        if (c.type == ZKLibCurl::REQ_HEAD) {
            EXPECT_EQ(Body(client), "");
        } else {
            EXPECT_EQ(Body(client), R"({"kind":"compute#operation"})");
            EXPECT_EQ(client.GetHttpResponseHeader("x-request-method"), c.method);
        }
    }
}

TEST_F(HttpClientTest, HeadersDefaultReplacedAndCleared) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()));
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));
    const std::string url = std::string(kBase) + "/op";

    ASSERT_TRUE(client.ZKLibCurlAppendHeader(ZKLibCurl::HEADER_REQUEST, "content-type: application/json"));
    ASSERT_TRUE(client.ZKLibCurlAppendHeader(ZKLibCurl::HEADER_REQUEST, "X-Goog-User-Project: p1"));
    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_POST, url.c_str(), "{}", 2, false,
                                            "Authorization: Bearer ya29.token"));
    client.ZKLibCurlFreeHttpHeaderList();
    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_POST, url.c_str(), "a=b", 3, false, nullptr));

    const std::vector<Seen> seen = server.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].headers.count("Content-Type"), 1u);
    EXPECT_EQ(HeaderOf(seen[0].headers, "Content-Type"), "application/json");
    EXPECT_EQ(HeaderOf(seen[0].headers, "X-Goog-User-Project"), "p1");
    EXPECT_EQ(HeaderOf(seen[0].headers, "Authorization"), "Bearer ya29.token");
    EXPECT_EQ(seen[0].headers.count("Expect"), 0u);

    EXPECT_EQ(seen[1].headers.count("Content-Type"), 1u);
    EXPECT_EQ(HeaderOf(seen[1].headers, "Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(seen[1].headers.count("X-Goog-User-Project"), 0u);
    EXPECT_EQ(seen[1].headers.count("Authorization"), 0u);
}

TEST_F(HttpClientTest, ResponsesOtherThanSuccess) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()));
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));

    ASSERT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + "/missing").c_str(),
                                             nullptr, 0, false, nullptr));
    EXPECT_EQ(client.GetHttpErrorCode(), 404);
    EXPECT_EQ(client.GetHttpResponseHeader("HTTP"), "HTTP/1.1 404 Not Found\r\n");
    EXPECT_EQ(client.GetHttpResponseHeader("Content-Type"), "application/json");
    EXPECT_EQ(Body(client), R"({"error":{"code":404,"message":"not found"}})");
    size_t length = 0;
    const char* raw = client.GetHttpResponse(length, true);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(std::string(raw, length).rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
    EXPECT_NE(std::string(raw, length).find("Content-Type: application/json\r\n"), std::string::npos);

    // A success without a body still has a (empty) body to read.
    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_DELETE, (std::string(kBase) + "/empty").c_str(),
                                            nullptr, 0, false, nullptr));
    EXPECT_EQ(client.GetHttpErrorCode(), 204);
    const char* body = client.GetHttpResponse(length, false);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(body, "");

    // Redirects are reported, never followed.
    ASSERT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + "/redirect").c_str(),
                                             nullptr, 0, false, nullptr));
    EXPECT_EQ(client.GetHttpErrorCode(), 302);
    EXPECT_EQ(client.GetHttpResponseHeader("Location"), std::string(kBase) + "/elsewhere");
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(HttpClientTest, CompressedAndLargeBodies) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()));
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));

    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + "/big").c_str(),
                                            nullptr, 0, false, nullptr));
    EXPECT_EQ(Body(client), TlsServer::BigJson());
    EXPECT_FALSE(client.GetHttpResponseHeader("Content-Encoding").empty());

    // A large upload goes at once: no "Expect: 100-continue" round trip.
    std::string upload(300 * 1024, 'x');
    upload[1000] = '\0';
    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_PUT, (std::string(kBase) + "/up").c_str(),
                                            upload.data(), upload.size(), false,
                                            "Content-Type: application/octet-stream"))
        << client.GetHttpErrorCode();
    const Seen last = server.Requests().back();
    EXPECT_EQ(last.body, upload);
    EXPECT_EQ(last.headers.count("Expect"), 0u);

    // When a caller does ask for "100 Continue", only the final response is reported.
    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_POST, (std::string(kBase) + "/op").c_str(), "{}",
                                            2, false, "Expect: 100-continue"));
    EXPECT_EQ(HeaderOf(server.Requests().back().headers, "Expect"), "100-continue");
    EXPECT_EQ(client.GetHttpResponseHeader("HTTP"), "HTTP/1.1 200 OK\r\n");
    size_t length = 0;
    const std::string raw = client.GetHttpResponse(length, true);
    EXPECT_EQ(raw.find("100 Continue"), std::string::npos) << raw;
    EXPECT_EQ(raw.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << raw;
    EXPECT_EQ(Body(client), R"({"kind":"compute#operation"})");
}

TEST_F(HttpClientTest, OneConnectionIsReused) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()));
    const std::string url = std::string(kBase) + "/op";
    {
        ZKLibCurl client;
        ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(client.ZKLibCurlSendHttpReq(i == 1 ? ZKLibCurl::REQ_POST : ZKLibCurl::REQ_GET,
                                                    url.c_str(), "x", i == 1 ? 1 : 0, false, nullptr));
        // Even after a failed status.
        ASSERT_FALSE(client.ZKLibCurlSendHttpReq(
            ZKLibCurl::REQ_GET, (std::string(kBase) + "/missing").c_str(), nullptr, 0, false, nullptr));
    }
    {
        ZKLibCurl separate;
        ASSERT_TRUE(separate.ZKLibCurlInit(kDefaultHeader, false, true, nullptr));
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(
                separate.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, url.c_str(), nullptr, 0, false, nullptr));
    }
    const std::vector<Seen> seen = server.Requests();
    ASSERT_EQ(seen.size(), 6u);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(seen[i].remotePort, seen[0].remotePort) << i;
    // Without keep-alive every request has a connection of its own.
    EXPECT_NE(seen[4].remotePort, seen[0].remotePort);
    EXPECT_NE(seen[5].remotePort, seen[4].remotePort);
}

TEST_F(HttpClientTest, UntrustedOrMismatchedCertificatesRefused) {
    gcemu::CertificateAuthority otherCa("another CA");
    struct Case {
        const char* name;
        gcemu::KeyedCertificate certificate;
    };
    Case cases[] = {
        {"certificate of another CA",
         otherCa.IssueServerCertificate({"*.googleapis.com", "localhost"}, {"127.0.0.1"})},
        {"certificate for another host", s_ca->IssueServerCertificate({"other.example"})},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        TlsServer server(c.certificate);
        testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()));
        ZKLibCurl client;
        ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));
        // Attempts to switch verification off are refused and change nothing.
        EXPECT_FALSE(client.ZKLibCurlSetAdditionalOptionsIntValue(CURLOPT_SSL_VERIFYPEER, 0));
        EXPECT_FALSE(client.ZKLibCurlSetAdditionalOptionsIntValue(CURLOPT_SSL_VERIFYHOST, 0));
        EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + "/op").c_str(),
                                                 nullptr, 0, false, "Authorization: Bearer ya29.secret"));
        EXPECT_EQ(client.GetHttpErrorCode(), 0);
        size_t length = 99;
        EXPECT_EQ(client.GetHttpResponse(length, false), nullptr);
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(client.GetHttpResponseHeader("HTTP"), "");
        EXPECT_FALSE(client.GetLastTransportError().empty());
        EXPECT_TRUE(server.Requests().empty());
    }
}

TEST_F(HttpClientTest, PlainHttpAndBadHeadersRefused) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()));
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));

    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "http://compute.googleapis.com/compute/v1/x",
                                             nullptr, 0, false, "Authorization: Bearer ya29.secret"));
    EXPECT_EQ(client.GetHttpErrorCode(), 0);
    EXPECT_FALSE(client.GetLastTransportError().empty());

    EXPECT_FALSE(client.ZKLibCurlAppendHeader(ZKLibCurl::HEADER_REQUEST, "X-A: 1\r\nX-Injected: 2"));
    EXPECT_FALSE(client.ZKLibCurlAppendHeader(ZKLibCurl::HEADER_REQUEST, "X-A: 1\nX-Injected: 2"));
    EXPECT_FALSE(client.ZKLibCurlAppendHeader(ZKLibCurl::HEADER_REQUEST, nullptr));
    EXPECT_FALSE(client.ZKLibCurlAppendHeader(1, "X-A: 1"));
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + "/op").c_str(),
                                             nullptr, 0, false, "X-A: 1\r\nX-Injected: 2"));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(HttpClientTest, StalledServerEndsInFailure) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port(), 1));
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));
    // A POST too: the body it sends at once must not count as the server answering (a token request
    // with a 3 s limit used to wait 9 s).
    const std::string body(900, 'x');
    for (int type : {ZKLibCurl::REQ_GET, ZKLibCurl::REQ_POST}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(client.ZKLibCurlSendHttpReq(type, (std::string(kBase) + "/stall").c_str(), body.data(),
                                                 type == ZKLibCurl::REQ_POST ? body.size() : 0, false,
                                                 nullptr));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, 2900ms) << type;
        EXPECT_EQ(client.GetHttpErrorCode(), 0);
        EXPECT_EQ(client.GetLastTransportError(),
                  "nothing was sent or received for 1 s; the request was given up");
    }
    server.ReleaseStall();
}

TEST_F(HttpClientTest, NothingListeningFailsFast) {
    // A port that was free a moment ago.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(probe, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t size = sizeof address;
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
    close(probe);

    testsupport::ScopedSettings settings(SettingsFor(s_caFile, ntohs(address.sin_port)));
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + "/op").c_str(),
                                             nullptr, 0, false, nullptr));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(client.GetHttpErrorCode(), 0);
    EXPECT_FALSE(client.GetLastTransportError().empty());
}

TEST(CurlHttpExchangeTest, OptionsThatWeakenTlsOrBreakRequestsRefused) {
    auto exchange = host::MakeCurlHttpExchange(host::HttpClientOptions());
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const int refused[] = {CURLOPT_SSL_VERIFYPEER,
                           CURLOPT_SSL_VERIFYHOST,
                           CURLOPT_SSL_OPTIONS,
                           CURLOPT_PROXY_SSL_VERIFYPEER,
                           CURLOPT_SSLVERSION,
                           CURLOPT_PROTOCOLS,
                           CURLOPT_REDIR_PROTOCOLS,
                           CURLOPT_FOLLOWLOCATION,
                           CURLOPT_HEADER,
                           CURLOPT_NOBODY,
                           CURLOPT_URL /* a text option */,
                           -1,
                           99999};
#pragma GCC diagnostic pop
    for (int option : refused) EXPECT_FALSE(exchange->SetIntOption(option, 0)) << option;
    EXPECT_TRUE(exchange->SetIntOption(CURLOPT_TIMEOUT, 600));
    EXPECT_TRUE(exchange->SetIntOption(CURLOPT_MAXFILESIZE_LARGE, 1 << 30));
}

// ZKLibCurl over a scripted exchange.
using testsupport::Answer;

class ScriptedClientTest : public ::testing::Test {
protected:
    testsupport::ScriptedHttp m_http;
    testsupport::HttpScript& m_script = m_http.script;
};

TEST_F(ScriptedClientTest, InitReadsSettingsOnce) {
    testsupport::ScopedSettings settings(
        "[GoogleCloud]\nsCaBundle=/etc/ca.pem\nsConnectTo=10.0.0.1:8443\nsProxy=http://proxy:3128\n"
        "nHttpConnectTimeoutSecs=7\nnHttpStallTimeoutSecs=9\n");
    ZKLibCurl client;
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/", nullptr, 0, false, nullptr));
    EXPECT_FALSE(client.ZKLibCurlSetAdditionalOptionsIntValue(CURLOPT_TIMEOUT, 5));
    ASSERT_TRUE(client.ZKLibCurlInit(nullptr, true, true, nullptr));
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, false, true, nullptr));
    ASSERT_EQ(m_script.made.size(), 1u);
    const host::HttpClientOptions& options = m_script.made[0];
    EXPECT_EQ(options.caBundle, "/etc/ca.pem");
    EXPECT_EQ(options.connectTo, "10.0.0.1:8443");
    EXPECT_EQ(options.proxy, "http://proxy:3128");
    EXPECT_EQ(options.connectTimeoutSecs, 7);
    EXPECT_EQ(options.stallTimeoutSecs, 9);
    EXPECT_TRUE(options.keepAlive);

    EXPECT_TRUE(client.ZKLibCurlSetAdditionalOptionsIntValue(CURLOPT_TIMEOUT, 5));
    ASSERT_EQ(m_script.options.size(), 1u);
    EXPECT_EQ(m_script.options[0], std::make_pair(static_cast<int>(CURLOPT_TIMEOUT), 5L));
    // No default header was given at the first Init: none is added.
    m_script.answers.push_back(Answer(200, "{}"));
    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/", nullptr, 0, false, nullptr));
    EXPECT_TRUE(m_script.requests.back().headers.empty());
}

TEST_F(ScriptedClientTest, RequestTypesAndHeaders) {
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));
    const std::pair<int, const char*> types[] = {{0, "GET"},  {1, "POST"},  {2, "PUT"},   {3, "DELETE"},
                                                 {4, "HEAD"}, {5, "PATCH"}, {6, nullptr}, {-1, nullptr}};
    for (const auto& [type, method] : types) {
        SCOPED_TRACE(type);
        const size_t before = m_script.requests.size();
        m_script.answers.push_back(Answer(200, "{}"));
        const bool sent = client.ZKLibCurlSendHttpReq(type, "https://a/b", "q\0r", 3, false, nullptr);
        if (!method) {
            EXPECT_FALSE(sent);
            EXPECT_EQ(m_script.requests.size(), before);
            m_script.answers.clear();
            continue;
        }
        ASSERT_TRUE(sent);
        EXPECT_EQ(m_script.requests.back().method, method);
        EXPECT_EQ(m_script.requests.back().body, std::string("q\0r", 3));
        EXPECT_EQ(m_script.requests.back().url, "https://a/b");
    }

    // Header precedence: an appended or extra header of the same name drops the default one.
    struct Case {
        std::vector<const char*> appended;
        const char* extra;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{}, nullptr, {kDefaultHeader}},
        {{"X-A: 1"}, "X-B: 2", {"X-A: 1", "X-B: 2", kDefaultHeader}},
        {{"CONTENT-TYPE: application/json"}, nullptr, {"CONTENT-TYPE: application/json"}},
        {{}, "Content-Type : text/plain", {"Content-Type : text/plain"}},
        {{"Content-Typo: x"}, nullptr, {"Content-Typo: x", kDefaultHeader}},
    };
    for (const Case& c : cases) {
        client.ZKLibCurlFreeHttpHeaderList();
        for (const char* line : c.appended) ASSERT_TRUE(client.ZKLibCurlAppendHeader(0, line));
        m_script.answers.push_back(Answer(201, ""));
        ASSERT_TRUE(
            client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_POST, "https://a/b", nullptr, 0, false, c.extra));
        EXPECT_EQ(m_script.requests.back().headers, c.expected);
    }
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_POST, "https://a/b", nullptr, 5, false, nullptr));
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_POST, nullptr, "x", 1, false, nullptr));
}

size_t Collect(const char* data, size_t size, void* context) {
    static_cast<std::string*>(context)->append(data, size);
    return size;
}

size_t Refuse(const char*, size_t size, void*) {
    return size / 2;
}

TEST_F(ScriptedClientTest, StreamingAndResults) {
    std::string streamed;
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, &Collect, &streamed));
    size_t length = 7;
    EXPECT_EQ(client.GetHttpResponse(length, false), nullptr);
    EXPECT_EQ(length, 0u);

    const std::string big(200 * 1024, 'z');
    m_script.answers.push_back(Answer(200, big));
    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/o", nullptr, 0, true, nullptr));
    EXPECT_EQ(streamed, big);
    const char* body = client.GetHttpResponse(length, false);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(length, 0u);

    // An error body is kept for the caller, not streamed.
    streamed.clear();
    m_script.answers.push_back(Answer(403, R"({"error":{}})"));
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/o", nullptr, 0, true, nullptr));
    EXPECT_EQ(streamed, "");
    EXPECT_EQ(Body(client), R"({"error":{}})");
    EXPECT_EQ(client.GetHttpErrorCode(), 403);
    EXPECT_EQ(client.GetHttpResponseHeader("http"), "HTTP/1.1 403 Forbidden\r\n");
    EXPECT_EQ(client.GetHttpResponseHeader("content-type"), "application/json");
    EXPECT_EQ(client.GetHttpResponseHeader("Absent"), "");

    // Not streamed: the body stays.
    m_script.answers.push_back(Answer(299, "kept"));
    EXPECT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/o", nullptr, 0, false, nullptr));
    EXPECT_EQ(Body(client), "kept");
    m_script.answers.push_back(Answer(300, "x"));
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/o", nullptr, 0, false, nullptr));

    // No answer at all: nothing of the previous response remains.
    testsupport::LogCapture log;
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/o", nullptr, 0, false,
                                             "Authorization: Bearer ya29.secret"));
    EXPECT_EQ(client.GetHttpResponse(length, false), nullptr);
    EXPECT_EQ(client.GetHttpResponse(length, true), nullptr);
    EXPECT_EQ(client.GetHttpErrorCode(), 0);
    EXPECT_EQ(client.GetHttpResponseHeader("HTTP"), "");
    EXPECT_EQ(client.GetLastTransportError(), "no scripted answer");
    EXPECT_TRUE(log.Mentions("no scripted answer")) << log.Dump();
    EXPECT_FALSE(log.Mentions("ya29.secret")) << log.Dump();
}

TEST_F(ScriptedClientTest, ReceiverRefusingTheBodyFails) {
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, &Refuse));
    m_script.answers.push_back(Answer(200, "abcdef"));
    EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/o", nullptr, 0, true, nullptr));
}

TEST(HttpExchangeFactoryTest, ScopesNestAndRestore) {
    std::vector<std::string> made;
    auto factory = [&made](const char* name) {
        return [&made, name](const host::HttpClientOptions&) -> std::unique_ptr<host::IHttpExchange> {
            made.push_back(name);
            return nullptr;
        };
    };
    {
        host::ScopedHttpExchangeFactory outer(factory("outer"));
        {
            host::ScopedHttpExchangeFactory inner(factory("inner"));
            host::MakeHttpExchange(host::HttpClientOptions());
        }
        host::MakeHttpExchange(host::HttpClientOptions());
        // A factory that makes nothing makes Init fail.
        ZKLibCurl client;
        EXPECT_FALSE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));
    }
    EXPECT_EQ(made, (std::vector<std::string>{"inner", "outer", "outer"}));
    // With none installed, the real client.
    EXPECT_NE(host::MakeHttpExchange(host::HttpClientOptions()), nullptr);
}

}  // namespace
