// The host HTTP client against a local TLS server (certificates from our own CA, reached through the
// connect-to setting).
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
#include "tests/unit/TlsTestServer.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Seen;
using testsupport::TlsServer;

constexpr const char* kDefaultHeader = "Content-Type: application/x-www-form-urlencoded";
constexpr const char* kBase = "https://compute.googleapis.com/compute/v1/projects/p1";

std::string HeaderOf(const httplib::Headers& headers, const std::string& name) {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

std::string SettingsFor(const std::string& caFile, int port, int stallSecs = 30) {
    return "[GoogleCloud]\nsCaBundle=" + caFile + "\nsConnectTo=127.0.0.1:" + std::to_string(port) +
           "\nnHttpConnectTimeoutSecs=5\nnHttpStallTimeoutSecs=" + std::to_string(stallSecs) + "\n";
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
            EXPECT_EQ(testsupport::LastBody(client), "");
        } else {
            EXPECT_EQ(testsupport::LastBody(client), R"({"kind":"compute#operation"})");
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
    EXPECT_EQ(testsupport::LastBody(client), R"({"error":{"code":404,"message":"not found"}})");
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
    EXPECT_EQ(client.GetHttpResponseHeader("Location"), "https://compute.googleapis.com/elsewhere");
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(HttpClientTest, CompressedAndLargeBodies) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()));
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));

    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + "/big").c_str(),
                                            nullptr, 0, false, nullptr));
    EXPECT_EQ(testsupport::LastBody(client), TlsServer::BigJson());
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
    EXPECT_EQ(testsupport::LastBody(client), R"({"kind":"compute#operation"})");
}

TEST_F(HttpClientTest, AnswersLargerThanTheCapAreRefused) {
    TlsServer server(*s_serverCertificate);
    testsupport::ScopedSettings settings(SettingsFor(s_caFile, server.port()) + "nHttpMaxResponseMB=1\n");
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit(kDefaultHeader, true, true, nullptr));
    // Announced by its length, and found out only as it comes; under the cap it is kept whole.
    for (const char* path : {"/huge", "/huge-chunked"}) {
        EXPECT_FALSE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + path).c_str(),
                                                 nullptr, 0, false, nullptr))
            << path;
        EXPECT_EQ(client.GetLastTransportError(), "the answer is larger than 1 MB (nHttpMaxResponseMB); it was refused")
            << path;
        EXPECT_EQ(testsupport::LastBody(client), "<null>") << path;
    }
    ASSERT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, (std::string(kBase) + "/big").c_str(), nullptr,
                                            0, false, nullptr));
    EXPECT_EQ(testsupport::LastBody(client), TlsServer::BigJson());
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

}  // namespace
