// ZKLibCurl over a scripted exchange: settings read once, request types and headers, streaming, and
// the exchange factory's scopes.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HttpExchange.h"
#include "host/ZKLibCurl.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kDefaultHeader = "Content-Type: application/x-www-form-urlencoded";

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
    EXPECT_EQ(testsupport::LastBody(client), R"({"error":{}})");
    EXPECT_EQ(client.GetHttpErrorCode(), 403);
    EXPECT_EQ(client.GetHttpResponseHeader("http"), "HTTP/1.1 403 Forbidden\r\n");
    EXPECT_EQ(client.GetHttpResponseHeader("content-type"), "application/json");
    EXPECT_EQ(client.GetHttpResponseHeader("Absent"), "");

    // Not streamed: the body stays.
    m_script.answers.push_back(Answer(299, "kept"));
    EXPECT_TRUE(client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://a/o", nullptr, 0, false, nullptr));
    EXPECT_EQ(testsupport::LastBody(client), "kept");
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
