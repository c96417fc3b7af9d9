// Request faults beyond a status, a reset and a stall, as the host HTTP client meets them: an answer cut
// short, a body that is not JSON, an empty body, Retry-After, and Google's 401 on the token endpoint and
// on the APIs; and the same rules read from the control API's JSON.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "host/ZKLibCurl.h"
#include "host/ZkJson.h"
#include "tests/support/TempDir.h"

namespace {

using json_spirit::mObject;

constexpr const char* kAccount = "faults@gcemu-project-1.iam.gserviceaccount.com";
constexpr const char* kComputeHost = "compute.googleapis.com";
constexpr const char* kProjectPath = "/compute/v1/projects/gcemu-project-1";
constexpr const char* kTokenHost = "www.googleapis.com";
constexpr const char* kTokenPath = "/oauth2/v4/token";

struct Answer {
    bool completed = false;
    int64_t status = 0;
    std::string statusLine;
    std::string body;
    std::string error;  // the transport's, when nothing complete came back
    std::string retryAfter;
    std::string contentLength;
    std::string challenge;  // WWW-Authenticate
};

class EmulatorFaultsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_emulator = new gcemu::Emulator();
        s_emulator->Start();
        s_emulator->MakeServiceAccount(kAccount);
        s_settings = new std::string(testsupport::ReadFile(s_emulator->WriteClientSettings()));
    }
    static void TearDownTestSuite() {
        delete s_settings;
        delete s_emulator;
    }
    void SetUp() override {
        s_emulator->ResetWorld();
        m_settings = std::make_unique<testsupport::ScopedSettings>(*s_settings);
    }

    static gcemu::Emulator& emulator() { return *s_emulator; }

    static Answer Send(const char* method, const std::string& host, const std::string& path) {
        ZKLibCurl client;
        EXPECT_TRUE(client.ZKLibCurlInit("Content-Type: application/json", true, true, nullptr));
        const std::string token = emulator().accounts().Issue(kAccount).accessToken;
        const std::string url = "https://" + host + path;
        const int type = std::string(method) == "POST" ? ZKLibCurl::REQ_POST : ZKLibCurl::REQ_GET;
        Answer answer;
        client.ZKLibCurlSendHttpReq(type, url.c_str(), "", 0, false,
                                    ("Authorization: Bearer " + token).c_str());
        size_t length = 0;
        const char* text = client.GetHttpResponse(length, false);
        answer.completed = text != nullptr;
        if (text) answer.body.assign(text, length);
        answer.status = client.GetHttpErrorCode();
        answer.statusLine = client.GetHttpResponseHeader("HTTP");
        answer.error = client.GetLastTransportError();
        answer.retryAfter = client.GetHttpResponseHeader("Retry-After");
        answer.contentLength = client.GetHttpResponseHeader("Content-Length");
        answer.challenge = client.GetHttpResponseHeader("WWW-Authenticate");
        return answer;
    }

    static gcemu::Emulator* s_emulator;
    static std::string* s_settings;
    std::unique_ptr<testsupport::ScopedSettings> m_settings;
};

gcemu::Emulator* EmulatorFaultsTest::s_emulator = nullptr;
std::string* EmulatorFaultsTest::s_settings = nullptr;

mObject Parsed(const std::string& text) {
    mObject object;
    EXPECT_TRUE(ZkJson::Unserialize(text, object)) << text;
    return object;
}

// The status member of Google's error body, or "" when the body is not one.
std::string GoogleStatus(const std::string& text) {
    mObject object;
    if (!ZkJson::Unserialize(text, object)) return "";
    const mObject* error = ZkJson::FindObject(object, "error");
    return error ? ZkJson::GetStringValue(*error, "status") : "";
}

TEST_F(EmulatorFaultsTest, EachKindShapesTheAnswerAsAsked) {
    const std::string full = Send("GET", kComputeHost, kProjectPath).body;
    ASSERT_GT(full.size(), 100u);
    const std::string unauthenticated = R"({"error":{"code":401,
        "message":"Request had invalid authentication credentials. Expected OAuth 2 access token, login cookie or other valid authentication credential. See https://developers.google.com/identity/sign-in/web/devconsole-project.",
        "errors":[{"message":"Invalid Credentials","domain":"global","reason":"authError","location":"Authorization",
                   "locationType":"header"}],
        "status":"UNAUTHENTICATED"}})";

    struct Case {
        const char* what;
        gcemu::FaultRule rule;
        const char* method;
        std::string host, path;
        bool completed;
        int64_t status;
        std::string body = "";          // exactly, or the start of the transport's error when not completed
        std::string googleStatus = "";  // of the error body, when there is one
        std::string retryAfter = "";
        std::string contentLength = "";
        bool challenge = false;
    };
    const auto rule = [](gcemu::FaultKind kind, int status, const std::string& body,
                         const std::string& retryAfter = "") {
        gcemu::FaultRule fault{"", "", 1, kind, status, body, 0, retryAfter};
        return fault;
    };
    const std::string remaining = "transfer closed with ";
    const Case cases[] = {
        {"the real answer's first half", rule(gcemu::FaultKind::kTruncate, 0, ""), "GET", kComputeHost,
         kProjectPath, false, 0,
         remaining + std::to_string(full.size() - full.size() / 2) + " bytes remaining"},
        {"a body of the rule's own, announced at twice its length",
         rule(gcemu::FaultKind::kTruncate, 503, R"({"error":)"), "GET", kComputeHost, kProjectPath, false, 0,
         remaining + "9 bytes remaining"},
        {"not JSON", rule(gcemu::FaultKind::kMalformed, 0, ""), "GET", kComputeHost, kProjectPath, true, 200,
         R"({"items": [)"},
        {"not JSON, with a status and a body", rule(gcemu::FaultKind::kMalformed, 502, "<html>Bad Gateway"),
         "GET", kComputeHost, kProjectPath, true, 502, "<html>Bad Gateway"},
        {"an empty 200", rule(gcemu::FaultKind::kEmpty, 0, ""), "GET", kComputeHost, kProjectPath, true, 200,
         "", "", "", "0"},
        {"an empty 202", rule(gcemu::FaultKind::kEmpty, 202, ""), "GET", kComputeHost, kProjectPath, true,
         202, "", "", "", "0"},
        {"429 with seconds to wait", rule(gcemu::FaultKind::kStatus, 429, "", "120"), "GET", kComputeHost,
         kProjectPath, true, 429, "", "RESOURCE_EXHAUSTED", "120"},
        {"503 with a date to wait for",
         rule(gcemu::FaultKind::kStatus, 503, "", "Wed, 21 Oct 2015 07:28:00 GMT"), "GET", kComputeHost,
         kProjectPath, true, 503, "", "UNAVAILABLE", "Wed, 21 Oct 2015 07:28:00 GMT"},
        {"an empty answer may wait too", rule(gcemu::FaultKind::kEmpty, 0, "", "7"), "GET", kComputeHost,
         kProjectPath, true, 200, "", "", "7", "0"},
        {"401 on an API", rule(gcemu::FaultKind::kStatus, 401, ""), "GET", kComputeHost, kProjectPath, true,
         401, "", "UNAUTHENTICATED", "", "", true},
        {"401 on the token endpoint", rule(gcemu::FaultKind::kStatus, 401, ""), "POST", kTokenHost,
         kTokenPath, true, 401, "", "UNAUTHENTICATED"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emulator().journal().Clear();
        gcemu::FaultRule fault = c.rule;
        fault.hostAndPathPrefix = c.host + c.path;
        emulator().faults().Add(fault);
        const Answer answer = Send(c.method, c.host, c.path);
        EXPECT_EQ(c.completed, answer.completed) << answer.error;
        if (!c.completed) {
            EXPECT_EQ(0u, answer.error.rfind(c.body, 0)) << answer.error;
        } else {
            EXPECT_EQ(c.status, answer.status);
            if (c.googleStatus.empty()) {
                EXPECT_EQ(c.body, answer.body);
            } else {
                EXPECT_EQ(c.googleStatus, GoogleStatus(answer.body)) << answer.body;
            }
            EXPECT_EQ(c.retryAfter, answer.retryAfter);
            if (!c.contentLength.empty()) {
                EXPECT_EQ(c.contentLength, answer.contentLength);
            }
            EXPECT_EQ(c.challenge, !answer.challenge.empty()) << answer.challenge;
        }
        if (c.status == 401) {
            EXPECT_EQ("HTTP/1.1 401 Unauthorized\r\n", answer.statusLine) << "what the library retries on";
            EXPECT_EQ(Parsed(unauthenticated), Parsed(answer.body));
        }
        const std::vector<gcemu::JournalEntry> entries = emulator().journal().Snapshot();
        ASSERT_EQ(1u, entries.size());
        EXPECT_EQ(gcemu::FaultKindName(c.rule.kind), entries[0].faultKind);
        EXPECT_EQ(0u, emulator().faults().Pending());
    }
    // The connection that was cut is not the next request's: it gets the whole answer.
    EXPECT_EQ(full, Send("GET", kComputeHost, kProjectPath).body);
}

TEST_F(EmulatorFaultsTest, TheControlApiReadsEveryKindAndRefusesWhatCannotBeSent) {
    struct Case {
        std::string json;
        gcemu::FaultKind kind;
        int status;
        std::string body, retryAfter;
    };
    const Case taken[] = {
        {R"({"kind":"truncate"})", gcemu::FaultKind::kTruncate, 0, "", ""},
        {R"({"kind":"truncate","status":500,"body":{"error":{}}})", gcemu::FaultKind::kTruncate, 500,
         R"({"error":{}})", ""},
        {R"({"kind":"malformed","body":"<html>"})", gcemu::FaultKind::kMalformed, 0, "<html>", ""},
        {R"({"kind":"empty","status":204})", gcemu::FaultKind::kEmpty, 204, "", ""},
        {R"({"kind":"status","status":429,"retryAfter":30})", gcemu::FaultKind::kStatus, 429, "", "30"},
        {R"({"status":503,"retryAfter":"Fri, 31 Dec 1999 23:59:59 GMT"})", gcemu::FaultKind::kStatus, 503, "",
         "Fri, 31 Dec 1999 23:59:59 GMT"},
    };
    for (const Case& c : taken) {
        SCOPED_TRACE(c.json);
        const gcemu::FaultRule rule = gcemu::Faults::FromJson(Parsed(c.json));
        EXPECT_EQ(c.kind, rule.kind);
        EXPECT_EQ(c.status, rule.status);
        EXPECT_EQ(c.body, rule.body);
        EXPECT_EQ(c.retryAfter, rule.retryAfter);
    }
    for (const char* refused :
         {R"({"kind":"empty","status":404})", R"({"kind":"empty","body":"x"})",
          R"({"retryAfter":"1\r\nSet-Cookie: a=b"})", R"({"retryAfter":true})", R"({"kind":"truncated"})"}) {
        SCOPED_TRACE(refused);
        EXPECT_THROW(gcemu::Faults::FromJson(Parsed(refused)), std::invalid_argument);
    }
}

}  // namespace
