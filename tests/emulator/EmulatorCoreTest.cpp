// The emulator itself, over real TLS: trust, the token endpoint's checks, bearer tokens, routing by Host,
// Google's error bodies, faults, the journal, the control API, and the key and settings files it writes.
#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/CertificateAuthority.h"
#include "emulator/Emulator.h"
#include "emulator/Journal.h"
#include "host/HostClock.h"
#include "host/Settings.h"
#include "host/ZKLibCurl.h"
#include "host/ZkJson.h"
#include "tests/support/TempDir.h"

namespace {

using json_spirit::mObject;
using json_spirit::mValue;
using std::chrono::steady_clock;

constexpr const char* kAccount = "tester@gcemu-project-1.iam.gserviceaccount.com";
constexpr const char* kScope = "https://www.googleapis.com/auth/cloud-platform";
constexpr const char* kTokenUrl = "https://www.googleapis.com/oauth2/v3/token";
constexpr const char* kProject1 = "https://compute.googleapis.com/compute/v1/projects/gcemu-project-1/";
constexpr const char* kShortLived =
    "Invalid JWT: Token must be a short-lived token (60 minutes) and in a reasonable timeframe. Check your "
    "iat and "
    "exp values in the JWT claim.";

class FakeClock : public host::IClock {
public:
    explicit FakeClock(int64_t now) : m_now(now) {}
    int64_t Now() const override { return m_now.load(); }
    void Advance(int64_t secs) { m_now += secs; }

private:
    std::atomic<int64_t> m_now;
};

struct Reply {
    bool ok = false;
    int64_t status = 0;
    std::string statusLine;
    std::string body;
    std::string transportError;

    mObject Json() const {
        mObject object;
        EXPECT_TRUE(ZkJson::Unserialize(body, object)) << body;
        return object;
    }
};

mObject ParseObject(const std::string& text) {
    mObject object;
    EXPECT_TRUE(ZkJson::Unserialize(text, object)) << text;
    return object;
}

std::string Base64Url(const std::string& bytes, bool pad) {
    std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
    const int length = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    std::string text(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(length));
    for (char& c : text) c = c == '+' ? '-' : c == '/' ? '_' : c;
    while (!pad && !text.empty() && text.back() == '=') text.pop_back();
    return text;
}

std::string SignRs256(const std::string& privateKeyPem, const std::string& data) {
    gcemu::EvpPkeyPtr key = gcemu::ReadPrivateKeyPem(privateKeyPem);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    size_t length = 0;
    EXPECT_EQ(1, EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()));
    EXPECT_EQ(1, EVP_DigestSign(context.get(), nullptr, &length,
                                reinterpret_cast<const unsigned char*>(data.data()), data.size()));
    std::string signature(length, '\0');
    EXPECT_EQ(1, EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&signature[0]), &length,
                                reinterpret_cast<const unsigned char*>(data.data()), data.size()));
    signature.resize(length);
    return signature;
}

mObject Claims(const std::string& issuer, int64_t now) {
    mObject claims;
    claims["iss"] = issuer;
    claims["scope"] = kScope;
    claims["aud"] = kTokenUrl;
    claims["iat"] = now;
    claims["exp"] = now + 3600;
    return claims;
}

// "<header64>.<claims64>" as the client builds it, padding kept when asked.
std::string SigningInput(const mObject& claims, bool pad,
                         const std::string& header = R"({"alg":"RS256","typ":"JWT"})") {
    return Base64Url(header, pad) + "." + Base64Url(ZkJson::Serialize(claims), pad);
}

std::string MakeJwt(const std::string& privateKeyPem, const mObject& claims, bool pad = false,
                    const std::string& header = R"({"alg":"RS256","typ":"JWT"})") {
    const std::string input = SigningInput(claims, pad, header);
    return input + "." + Base64Url(SignRs256(privateKeyPem, input), pad);
}

gcemu::FaultRule Fault(const std::string& prefix, gcemu::FaultKind kind = gcemu::FaultKind::kStatus,
                       int count = 1) {
    gcemu::FaultRule rule;
    rule.hostAndPathPrefix = prefix;
    rule.kind = kind;
    rule.count = count;
    return rule;
}

std::string TokenForm(const std::string& assertion) {
    return "grant_type=urn%3Aietf%3Aparams%3Aoauth%3Agrant-type%3Ajwt-bearer&assertion=" + assertion;
}

class EmulatorCoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_emulator = new gcemu::Emulator();
        s_emulator->Start();
        s_key = new gcemu::ServiceAccountKey(s_emulator->MakeServiceAccount(kAccount));
        const std::string settings = s_emulator->WriteClientSettings(
            "", "[GoogleCloud]\nnHttpConnectTimeoutSecs=5\nnHttpStallTimeoutSecs=20\n");
        s_settingsText = new std::string(testsupport::ReadFile(settings));
    }
    static void TearDownTestSuite() {
        delete s_settingsText;
        delete s_key;
        delete s_emulator;
    }

    void SetUp() override {
        s_emulator->ResetWorld();
        s_emulator->RevokeAllTokens();
        m_settings = std::make_unique<testsupport::ScopedSettings>(*s_settingsText);
    }

    static gcemu::Emulator& emulator() { return *s_emulator; }

    static Reply Send(int type, const std::string& url, const std::string& body = "",
                      const std::string& extraHeader = "", ZKLibCurl* reuse = nullptr) {
        std::unique_ptr<ZKLibCurl> owned;
        ZKLibCurl* client = reuse;
        if (!client) {
            owned = std::make_unique<ZKLibCurl>();
            EXPECT_TRUE(
                owned->ZKLibCurlInit("Content-Type: application/x-www-form-urlencoded", true, true, nullptr));
            client = owned.get();
        }
        Reply reply;
        reply.ok = client->ZKLibCurlSendHttpReq(type, url.c_str(), body.data(), body.size(), false,
                                                extraHeader.empty() ? nullptr : extraHeader.c_str());
        reply.status = client->GetHttpErrorCode();
        reply.statusLine = client->GetHttpResponseHeader("HTTP");
        size_t length = 0;
        const char* text = client->GetHttpResponse(length, false);
        if (text) reply.body.assign(text, length);
        reply.transportError = client->GetLastTransportError();
        return reply;
    }

    static Reply Get(const std::string& url, const std::string& token) {
        return Send(ZKLibCurl::REQ_GET, url, "", token.empty() ? "" : "Authorization: Bearer " + token);
    }

    static Reply PostToken(const std::string& form, const std::string& url = kTokenUrl) {
        return Send(ZKLibCurl::REQ_POST, url, form);
    }

    static std::string Token(const std::string& privateKeyPem = s_key->privateKeyPem,
                             const std::string& account = kAccount) {
        const Reply reply = PostToken(TokenForm(MakeJwt(privateKeyPem, Claims(account, host::Now()), true)));
        EXPECT_EQ(200, reply.status) << reply.body;
        return ZkJson::GetStringValue(reply.Json(), "access_token");
    }

    static gcemu::Emulator* s_emulator;
    static gcemu::ServiceAccountKey* s_key;
    static std::string* s_settingsText;
    std::unique_ptr<testsupport::ScopedSettings> m_settings;
};

gcemu::Emulator* EmulatorCoreTest::s_emulator = nullptr;
gcemu::ServiceAccountKey* EmulatorCoreTest::s_key = nullptr;
std::string* EmulatorCoreTest::s_settingsText = nullptr;

TEST_F(EmulatorCoreTest, TlsIsTrustedOnlyWithTheEmulatorsCa) {
    ASSERT_GT(emulator().Port(), 0);
    testsupport::TempDir other;
    const std::string otherCa =
        other.Write("other.pem", gcemu::CertificateAuthority("other CA").CertificatePem());
    for (const std::string& caFile : {emulator().CaFile(), otherCa}) {
        httplib::SSLClient client("127.0.0.1", emulator().Port());
        client.set_ca_cert_path(caFile.c_str());
        client.enable_server_certificate_verification(true);
        const auto result = client.Get("/_gcemu/journal");
        if (caFile == otherCa) {
            EXPECT_FALSE(result);
            EXPECT_EQ(httplib::Error::SSLServerVerification, result.error());
        } else {
            ASSERT_TRUE(result) << httplib::to_string(result.error());
            EXPECT_EQ(200, result->status);
        }
    }
    // The library's own client through the written settings: the original host name is verified.
    EXPECT_EQ(401, Get(kProject1, "").status);
}

TEST_F(EmulatorCoreTest, TokenEndpointAcceptsAValidAssertionOnEveryGoogleTokenUrl) {
    struct Case {
        const char* url;
        const char* audience;
        bool pad;
    };
    const Case cases[] = {
        {kTokenUrl, kTokenUrl, true},
        {kTokenUrl, kTokenUrl, false},
        {"https://www.googleapis.com/oauth2/v4/token", "https://www.googleapis.com/oauth2/v4/token", false},
        {"https://oauth2.googleapis.com/token", "https://oauth2.googleapis.com/token", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url) + (c.pad ? " padded" : ""));
        mObject claims = Claims(kAccount, host::Now());
        claims["aud"] = c.audience;
        claims["scope"] = std::string("https://www.googleapis.com/auth/userinfo.email ") + kScope;
        const Reply reply = PostToken(TokenForm(MakeJwt(s_key->privateKeyPem, claims, c.pad)), c.url);
        ASSERT_EQ(200, reply.status) << reply.body;
        const mObject body = reply.Json();
        EXPECT_EQ(0u, ZkJson::GetStringValue(body, "access_token").rfind("ya29.c.", 0));
        EXPECT_GE(ZkJson::GetStringValue(body, "access_token").size(), 47u);
        EXPECT_EQ(3600, ZkJson::GetIntValue(body, "expires_in"));
        EXPECT_EQ("Bearer", ZkJson::GetStringValue(body, "token_type"));
    }
}

TEST_F(EmulatorCoreTest, TokenEndpointRefusesBadAssertionsAsGoogleDoes) {
    const int64_t now = host::Now();
    const std::string otherKey = gcemu::GenerateRsaKeyPem();
    auto with = [&](const char* name, const mValue& value) {
        mObject claims = Claims(kAccount, now);
        claims[name] = value;
        return claims;
    };
    struct Case {
        const char* what;
        std::string form;
        std::string error;
        std::string description;  // a prefix for the structural failures
    };
    const std::string good = MakeJwt(s_key->privateKeyPem, Claims(kAccount, now));
    const std::string tampered = SigningInput(with("scope", std::string(kScope) + " x"), false) + "." +
                                 good.substr(good.rfind('.') + 1);
    const Case cases[] = {
        {"signed by another key", TokenForm(MakeJwt(otherKey, Claims(kAccount, now))), "invalid_grant",
         "Invalid JWT Signature."},
        {"claims changed after signing", TokenForm(tampered), "invalid_grant", "Invalid JWT Signature."},
        {"unknown issuer", TokenForm(MakeJwt(otherKey, Claims("nobody@x.iam.gserviceaccount.com", now))),
         "invalid_grant", "Invalid grant: account not found"},
        {"wrong audience", TokenForm(MakeJwt(s_key->privateKeyPem, with("aud", "https://example.com/token"))),
         "invalid_grant", "Invalid JWT: Failed audience check."},
        {"lifetime not one hour", TokenForm(MakeJwt(s_key->privateKeyPem, with("exp", now + 3599))),
         "invalid_grant", kShortLived},
        {"expired", TokenForm(MakeJwt(s_key->privateKeyPem, Claims(kAccount, now - 3600))), "invalid_grant",
         kShortLived},
        {"issued in the future", TokenForm(MakeJwt(s_key->privateKeyPem, Claims(kAccount, now + 120))),
         "invalid_grant", kShortLived},
        {"times as text", TokenForm(MakeJwt(s_key->privateKeyPem, with("iat", std::to_string(now)))),
         "invalid_grant", kShortLived},
        {"other scope",
         TokenForm(MakeJwt(s_key->privateKeyPem, with("scope", "https://www.googleapis.com/auth/xyz"))),
         "invalid_scope", "Invalid OAuth scope or ID token audience provided."},
        {"no scope", TokenForm(MakeJwt(s_key->privateKeyPem, with("scope", ""))), "invalid_scope",
         "Invalid OAuth scope or ID token audience provided."},
        {"other grant type", "grant_type=client_credentials&assertion=" + good, "unsupported_grant_type",
         "Invalid grant_type: client_credentials"},
        {"no grant type", "assertion=" + good, "unsupported_grant_type", "Invalid grant_type: "},
        {"HS256",
         TokenForm(
             MakeJwt(s_key->privateKeyPem, Claims(kAccount, now), false, R"({"alg":"HS256","typ":"JWT"})")),
         "invalid_grant", "Invalid JWT: "},
        {"header not JSON", TokenForm(MakeJwt(s_key->privateKeyPem, Claims(kAccount, now), false, "RS256")),
         "invalid_grant", "Invalid JWT: "},
        {"two segments", TokenForm(good.substr(0, good.rfind('.'))), "invalid_grant", "Invalid JWT: "},
        {"not base64url", TokenForm("a*b.c.d"), "invalid_grant", "Invalid JWT: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Reply reply = PostToken(c.form);
        EXPECT_EQ(400, reply.status);
        const mObject body = reply.Json();
        EXPECT_EQ(2u, body.size()) << reply.body;
        EXPECT_EQ(c.error, ZkJson::GetStringValue(body, "error"));
        EXPECT_EQ(0u, ZkJson::GetStringValue(body, "error_description").rfind(c.description, 0))
            << reply.body;
    }
    EXPECT_EQ(sizeof cases / sizeof cases[0],
              emulator().journal().Count("POST", "www.googleapis.com", "/oauth2/"));
}

TEST_F(EmulatorCoreTest, IssuedTokenOpensTheComputeProject) {
    const std::string token = Token();
    for (const std::string url :
         {kProject1, "https://compute.googleapis.com/compute/v1/projects/gcemu-project-1",
          "https://www.googleapis.com/compute/v1/projects/gcemu-project-1/"}) {
        SCOPED_TRACE(url);
        const Reply reply = Get(url, token);
        ASSERT_EQ(200, reply.status) << reply.body;
        const mObject project = reply.Json();
        EXPECT_EQ("compute#project", ZkJson::GetStringValue(project, "kind"));
        EXPECT_EQ("gcemu-project-1", ZkJson::GetStringValue(project, "name"));
        EXPECT_EQ(json_spirit::str_type, project.at("id").type());  // numbers come as text
        EXPECT_EQ("https://www.googleapis.com/compute/v1/projects/gcemu-project-1",
                  ZkJson::GetStringValue(project, "selfLink"));
        EXPECT_EQ("100000000001-compute@developer.gserviceaccount.com",
                  ZkJson::GetStringValue(project, "defaultServiceAccount"));
        EXPECT_EQ("UNSPECIFIED_XPN_PROJECT_STATUS", ZkJson::GetStringValue(project, "xpnProjectStatus"));
        EXPECT_EQ("PREMIUM", ZkJson::GetStringValue(project, "defaultNetworkTier"));
        const mObject* metadata = ZkJson::FindObject(project, "commonInstanceMetadata");
        ASSERT_NE(nullptr, metadata);
        EXPECT_EQ("compute#metadata", ZkJson::GetStringValue(*metadata, "kind"));
        EXPECT_FALSE(ZkJson::GetStringValue(*metadata, "fingerprint").empty());
    }
}

TEST_F(EmulatorCoreTest, RefusedTokensGetGoogles401) {
    const std::string missing = R"({"error":{"code":401,
        "message":"Request is missing required authentication credential. Expected OAuth 2 access token, login cookie or other valid authentication credential. See https://developers.google.com/identity/sign-in/web/devconsole-project.",
        "errors":[{"message":"Login Required.","domain":"global","reason":"required","location":"Authorization",
                   "locationType":"header"}],
        "status":"UNAUTHENTICATED"}})";
    const std::string invalid = R"({"error":{"code":401,
        "message":"Request had invalid authentication credentials. Expected OAuth 2 access token, login cookie or other valid authentication credential. See https://developers.google.com/identity/sign-in/web/devconsole-project.",
        "errors":[{"message":"Invalid Credentials","domain":"global","reason":"authError","location":"Authorization",
                   "locationType":"header"}],
        "status":"UNAUTHENTICATED"}})";

    FakeClock clock(host::Now());
    host::ScopedClock scoped(clock);
    const std::string revoked = Token();
    emulator().RevokeAllTokens();
    const std::string expiring = Token();
    clock.Advance(3599);
    EXPECT_EQ(200, Get(kProject1, expiring).status);
    clock.Advance(1);

    struct Case {
        const char* what;
        std::string header;
        const std::string& body;
    };
    const Case cases[] = {
        {"no header", "", missing},
        {"not a bearer", "Authorization: Basic dXNlcjpwYXNz", missing},
        {"unknown token", "Authorization: Bearer ya29.c.unknown", invalid},
        {"revoked token", "Authorization: Bearer " + revoked, invalid},
        {"expired token", "Authorization: Bearer " + expiring, invalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Reply reply = Send(ZKLibCurl::REQ_GET, kProject1, "", c.header);
        EXPECT_EQ(401, reply.status);
        EXPECT_EQ("HTTP/1.1 401 Unauthorized\r\n", reply.statusLine);
        EXPECT_EQ(ParseObject(c.body), reply.Json()) << reply.body;
    }
}

TEST_F(EmulatorCoreTest, UnknownProjectAndUnknownRoutesAre404s) {
    const std::string token = Token();
    const Reply missing = Get("https://compute.googleapis.com/compute/v1/projects/no-such-project/", token);
    EXPECT_EQ(404, missing.status);
    // Compute Engine's shape, as captured: no "status" member.
    EXPECT_EQ(
        ParseObject(R"({"error":{"code":404,"message":"The resource 'projects/no-such-project' was not found",
        "errors":[{"message":"The resource 'projects/no-such-project' was not found","domain":"global",
                   "reason":"notFound"}]}})"),
        missing.Json());

    // The same path on a host that does not serve it, and paths nobody serves.
    for (const std::string& url :
         {std::string("https://cloudresourcemanager.googleapis.com/compute/v1/projects/gcemu-project-1/"),
          std::string("https://compute.googleapis.com/compute/v1/projects/p/zones/"),
          std::string("https://compute.googleapis.com/_gcemu/journal")}) {
        SCOPED_TRACE(url);
        const Reply reply = Get(url, token);
        EXPECT_EQ(404, reply.status);
        const mObject body = reply.Json();
        const mObject* error = ZkJson::FindObject(body, "error");
        ASSERT_NE(nullptr, error);
        EXPECT_EQ(404, ZkJson::GetIntValue(*error, "code"));
        EXPECT_EQ("NOT_FOUND", ZkJson::GetStringValue(*error, "status"));
    }
    const Reply deleteProject = Send(ZKLibCurl::REQ_DELETE, kProject1, "", "Authorization: Bearer " + token);
    EXPECT_EQ(404, deleteProject.status);
}

TEST_F(EmulatorCoreTest, StatusFaultAnswersTheNextMatchingRequestsThenStops) {
    const std::string token = Token();
    gcemu::FaultRule rule;
    rule.method = "GET";
    rule.hostAndPathPrefix = "compute.googleapis.com/compute/v1/projects/gcemu-project-1";
    rule.count = 2;
    rule.status = 503;
    emulator().faults().Add(rule);
    gcemu::FaultRule other = rule;  // another method: never taken by a GET
    other.method = "POST";
    emulator().faults().Add(other);

    EXPECT_EQ(200, Get("https://compute.googleapis.com/compute/v1/projects/gcemu-project-2/", token).status);
    for (int i = 0; i < 2; ++i) {
        const Reply reply = Get(kProject1, token);
        EXPECT_EQ(503, reply.status);
        const mObject body = reply.Json();
        const mObject* error = ZkJson::FindObject(body, "error");
        ASSERT_NE(nullptr, error);
        EXPECT_EQ("UNAVAILABLE", ZkJson::GetStringValue(*error, "status"));
    }
    EXPECT_EQ(200, Get(kProject1, token).status);
    EXPECT_EQ(1u, emulator().faults().Pending());

    // Faults come before authentication: a refused token is a fault on the token endpoint.
    gcemu::FaultRule refuse;
    refuse.hostAndPathPrefix = "www.googleapis.com/oauth2";
    refuse.status = 400;
    refuse.body = R"({"error":"invalid_grant","error_description":"Invalid JWT Signature."})";
    emulator().faults().Add(refuse);
    const Reply refused = PostToken(TokenForm(MakeJwt(s_key->privateKeyPem, Claims(kAccount, host::Now()))));
    EXPECT_EQ(400, refused.status);
    EXPECT_EQ(refuse.body, refused.body);

    const auto entries = emulator().journal().Snapshot();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ("status", entries[entries.size() - 1].faultKind);
    EXPECT_EQ("", entries[entries.size() - 2].faultKind);
}

TEST_F(EmulatorCoreTest, ResetFaultGivesNoResponse) {
    const std::string token = Token();
    gcemu::FaultRule rule;
    rule.hostAndPathPrefix = "compute.googleapis.com/compute/v1/projects/";
    rule.kind = gcemu::FaultKind::kReset;
    emulator().faults().Add(rule);

    const Reply reset = Get(kProject1, token);
    EXPECT_FALSE(reset.ok);
    EXPECT_EQ(0, reset.status);
    EXPECT_FALSE(reset.transportError.empty());
    EXPECT_EQ(200, Get(kProject1, token).status);

    const auto entries = emulator().journal().Snapshot();
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(0, entries[1].status);
    EXPECT_EQ("reset", entries[1].faultKind);
}

TEST_F(EmulatorCoreTest, StallFaultDelaysTheAnswer) {
    const std::string token = Token();
    gcemu::FaultRule rule;
    rule.hostAndPathPrefix = "compute.googleapis.com/compute/v1/projects/gcemu-project-1";
    rule.kind = gcemu::FaultKind::kStall;
    rule.stallMs = 100;
    emulator().faults().Add(rule);
    rule.status = 500;  // then one that stalls and fails
    emulator().faults().Add(rule);

    for (int expected : {200, 500, 200}) {
        const auto start = steady_clock::now();
        EXPECT_EQ(expected, Get(kProject1, token).status);
        const bool stalled = emulator().journal().Snapshot().back().faultKind == "stall";
        if (stalled) {
            EXPECT_GE(steady_clock::now() - start, std::chrono::milliseconds(100));
        }
    }
    const auto entries = emulator().journal().Snapshot();
    ASSERT_EQ(4u, entries.size());
    EXPECT_EQ("stall", entries[1].faultKind);
    EXPECT_EQ("stall", entries[2].faultKind);
    EXPECT_EQ("", entries[3].faultKind);
}

TEST_F(EmulatorCoreTest, JournalRecordsEveryRequest) {
    const std::string body = R"({"labels":{"a":"b"}})";
    const Reply reply =
        Send(ZKLibCurl::REQ_POST,
             "https://compute.googleapis.com/compute/v1/projects/p%2D1/noSuchMethod?requestId=r%201&x=1&x=2",
             body);
    EXPECT_EQ(404, reply.status);

    const auto entries = emulator().journal().Snapshot();
    ASSERT_EQ(1u, entries.size());
    const gcemu::JournalEntry& entry = entries[0];
    EXPECT_EQ("POST", entry.method);
    EXPECT_EQ("compute.googleapis.com", entry.host);
    EXPECT_EQ("/compute/v1/projects/p%2D1/noSuchMethod", entry.path);
    EXPECT_EQ("requestId=r%201&x=1&x=2", entry.rawQuery);
    EXPECT_EQ((gcemu::StringMultimap{{"requestId", "r 1"}, {"x", "1"}, {"x", "2"}}), entry.params);
    EXPECT_EQ(body, entry.body);
    EXPECT_EQ(reply.status, entry.status);
    EXPECT_EQ(1u, emulator().journal().Count("POST", "compute.googleapis.com", "/compute/v1/projects/"));
    EXPECT_EQ(0u, emulator().journal().Count("GET", "", ""));

    const mObject json = gcemu::Journal::ToJson(entry);
    EXPECT_EQ(ParseObject(R"({"requestId":["r 1"],"x":["1","2"]})"), json.at("params").get_obj());
    EXPECT_EQ("requestId=r%201&x=1&x=2", ZkJson::GetStringValue(json, "query"));
}

// Clients keep their connections alive; more of them than a thread pool would hold must all be served.
TEST_F(EmulatorCoreTest, ServesManyKeptAliveConnectionsAtOnce) {
    const std::string token = Token();
    const std::string header = "Authorization: Bearer " + token;
    constexpr int kClients = 12;
    constexpr int kRequests = 5;
    std::vector<std::unique_ptr<ZKLibCurl>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<ZKLibCurl>());
        ASSERT_TRUE(clients.back()->ZKLibCurlInit("", true, true, nullptr));
    }
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            for (int r = 0; r < kRequests; ++r) {
                if (Send(ZKLibCurl::REQ_GET, kProject1, "", header, clients[i].get()).status == 200)
                    ++answered;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(kClients * kRequests, answered.load());
    EXPECT_EQ(static_cast<size_t>(kClients * kRequests),
              emulator().journal().Count("GET", "compute.googleapis.com"));
}

// One client keeps one connection to every API host it speaks to, however many hosts it goes round
// (libcurl's own cache keeps 5), and the emulator counts them by host, in process and on its control API.
TEST_F(EmulatorCoreTest, OneClientKeepsOneConnectionPerHostAndTheEmulatorCountsThem) {
    const std::string header = "Authorization: Bearer " + Token();
    const struct {
        const char* host;
        const char* path;
    } reads[] = {
        {"compute.googleapis.com", "/compute/v1/projects/gcemu-project-1/"},
        {"www.googleapis.com", "/storage/v1/b?project=gcemu-project-1"},
        {"cloudresourcemanager.googleapis.com", "/v1/projects"},
        {"cloudkms.googleapis.com", "/v1/projects/gcemu-project-1/locations/us-central1/keyRings"},
        {"storage.googleapis.com", "/storage/v1/b?project=gcemu-project-1"},
        {"sqladmin.googleapis.com", "/v1/projects/gcemu-project-1/instances"},
        {"spanner.googleapis.com", "/v1/projects/gcemu-project-1/instances"},
        {"dataflow.googleapis.com", "/v1b3/projects/gcemu-project-1/jobs"},
    };
    emulator().connections().Clear();
    ZKLibCurl client;
    ASSERT_TRUE(client.ZKLibCurlInit("", true, true, nullptr));
    for (int round = 0; round < 3; ++round) {
        for (const auto& read : reads) {
            const Reply reply = Send(ZKLibCurl::REQ_GET, std::string("https://") + read.host + read.path, "",
                                     header, &client);
            EXPECT_NE(reply.status, 0) << read.host << ": " << reply.transportError;
        }
    }
    for (const auto& read : reads) EXPECT_EQ(emulator().connections().Count(read.host), 1u) << read.host;
    EXPECT_EQ(emulator().connections().Total(), std::size(reads));

    // Each Send without a client of its own opens a new connection, to localhost.
    const std::string counts = "https://localhost/_gcemu/connections";
    mObject listed = Send(ZKLibCurl::REQ_GET, counts).Json();
    EXPECT_EQ(listed.size(), std::size(reads) + 1);
    EXPECT_EQ(ZkJson::GetIntValue(listed, "compute.googleapis.com"), 1);
    EXPECT_EQ(ZkJson::GetIntValue(listed, "localhost"), 1);
    EXPECT_EQ(Send(ZKLibCurl::REQ_DELETE, counts).status, 200);
    listed = Send(ZKLibCurl::REQ_GET, counts).Json();
    EXPECT_EQ(listed, (mObject{{"localhost", 1}})) << "emptied, then the one connection of this read";
}

TEST_F(EmulatorCoreTest, ControlApiDrivesFaultsJournalResetAndAccounts) {
    const std::string control = "https://localhost:" + std::to_string(emulator().Port());
    // The control host is not a Google host: the library's connect-to does not apply, so go direct.
    httplib::SSLClient client("127.0.0.1", emulator().Port());
    client.set_ca_cert_path(emulator().CaFile().c_str());
    client.enable_server_certificate_verification(true);

    auto fault =
        client.Post("/_gcemu/faults",
                    R"({"method":"GET","prefix":"compute.googleapis.com/compute/v1/projects/gcemu-project-2",
                                 "count":1,"kind":"status","status":403,
                                 "body":{"error":{"code":403,"message":"denied"}}})",
                    "application/json");
    ASSERT_TRUE(fault);
    EXPECT_EQ(200, fault->status) << fault->body;
    const std::string token = Token();
    const Reply denied = Get("https://compute.googleapis.com/compute/v1/projects/gcemu-project-2/", token);
    EXPECT_EQ(403, denied.status);
    EXPECT_EQ(R"({"error":{"code":403,"message":"denied"}})", denied.body);

    for (const char* bad : {R"({"kind":"explode"})", R"({"count":0})", R"({"status":"x"})", "[1]", "{"}) {
        SCOPED_TRACE(bad);
        auto refused = client.Post("/_gcemu/faults", bad, "application/json");
        ASSERT_TRUE(refused);
        EXPECT_EQ(400, refused->status);
    }

    auto journal = client.Get("/_gcemu/journal");
    ASSERT_TRUE(journal);
    mValue entries;
    ASSERT_TRUE(ZkJson::Unserialize(journal->body, entries));
    ASSERT_EQ(json_spirit::array_type, entries.type());
    EXPECT_EQ(emulator().journal().size() - 1, entries.get_array().size());  // without the GET itself

    auto account =
        client.Post("/_gcemu/service-accounts", R"({"email":"ctl@gcemu-project-2.iam.gserviceaccount.com"})",
                    "application/json");
    ASSERT_TRUE(account);
    ASSERT_EQ(200, account->status) << account->body;
    const mObject files = ParseObject(account->body);
    EXPECT_FALSE(testsupport::ReadFile(ZkJson::GetStringValue(files, "jsonKeyFile")).empty());
    EXPECT_FALSE(testsupport::ReadFile(ZkJson::GetStringValue(files, "p12File")).empty());
    EXPECT_TRUE(emulator().accounts().Has("ctl@gcemu-project-2.iam.gserviceaccount.com"));

    emulator().faults().Add(Fault("nowhere", gcemu::FaultKind::kStatus, 5));
    auto deleted = client.Delete("/_gcemu/faults");
    ASSERT_TRUE(deleted);
    EXPECT_EQ(0u, emulator().faults().Pending());
    auto reset = client.Post("/_gcemu/reset", "", "application/json");
    ASSERT_TRUE(reset);
    EXPECT_EQ(200, reset->status);
    EXPECT_EQ(1u, emulator().journal().size());  // the reset request, journaled after the reset
}

TEST_F(EmulatorCoreTest, ServiceAccountKeyFilesWorkAsGooglesDo) {
    const gcemu::ServiceAccountKey key =
        emulator().MakeServiceAccount("files@gcemu-project-2.iam.gserviceaccount.com");
    const mObject json = ParseObject(testsupport::ReadFile(key.jsonKeyFile));
    EXPECT_EQ("service_account", ZkJson::GetStringValue(json, "type"));
    EXPECT_EQ("gcemu-project-2", ZkJson::GetStringValue(json, "project_id"));
    EXPECT_EQ(key.privateKeyId, ZkJson::GetStringValue(json, "private_key_id"));
    EXPECT_EQ(40u, key.privateKeyId.size());
    EXPECT_EQ(key.email, ZkJson::GetStringValue(json, "client_email"));
    EXPECT_EQ("https://oauth2.googleapis.com/token", ZkJson::GetStringValue(json, "token_uri"));
    EXPECT_EQ(21u, ZkJson::GetStringValue(json, "client_id").size());
    EXPECT_EQ("notasecret", key.p12Password);

    // The JSON key's private_key signs an assertion the emulator takes.
    const std::string fromJson = Token(ZkJson::GetStringValue(json, "private_key"), key.email);
    EXPECT_EQ(200, Get(kProject1, fromJson).status);

    // The .p12 opens with "notasecret" (legacy RC2/3DES) through the library's signer.
    const std::string input = SigningInput(Claims(key.email, host::Now()), true);
    unsigned char signature[ZKLibCurl::kMaxSignatureBytes];
    unsigned int length = 0;
    ZKLibCurl signer;
    EXPECT_FALSE(signer.SignSHA256withRSA(key.p12File.c_str(), input, "wrong", signature, length));
    ASSERT_TRUE(signer.SignSHA256withRSA(key.p12File.c_str(), input, "notasecret", signature, length));
    const std::string assertion =
        input + "." + Base64Url(std::string(reinterpret_cast<const char*>(signature), length), true);
    EXPECT_EQ(200, PostToken(TokenForm(assertion)).status);

    // A key made elsewhere, registered by its public key.
    const std::string outside = gcemu::GenerateRsaKeyPem();
    emulator().RegisterServiceAccount("outside@gcemu-project-1.iam.gserviceaccount.com",
                                      gcemu::PublicKeyPemOf(outside));
    EXPECT_FALSE(Token(outside, "outside@gcemu-project-1.iam.gserviceaccount.com").empty());
    EXPECT_THROW(emulator().RegisterServiceAccount("bad@x", "not a pem"), gcemu::PkiError);
}

TEST_F(EmulatorCoreTest, ClientSettingsMergeExtraIni) {
    const testsupport::TempDir dir;
    const std::string path = emulator().WriteClientSettings(
        dir.File("client.ini"),
        "[GoogleCloud]\nnLogLevel=2\nsProxy=http://proxy:3128\n[Base]\ndBASEHOME=/opt/agent\n");
    EXPECT_EQ(dir.File("client.ini"), path);
    const std::string text = testsupport::ReadFile(path);
    EXPECT_EQ(text.find("[GoogleCloud]"), text.rfind("[GoogleCloud]")) << text;  // one section, merged
    testsupport::ScopedSettings settings(text);
    EXPECT_EQ("127.0.0.1:" + std::to_string(emulator().Port()),
              host::settings::Read(host::settings::kConnectTo));
    EXPECT_EQ(emulator().CaFile(), host::settings::Read(host::settings::kCaBundle));
    EXPECT_EQ("http://proxy:3128", host::settings::Read(host::settings::kProxy));
    EXPECT_EQ(2u, host::settings::Read(host::settings::kLogLevel));
    EXPECT_EQ("/opt/agent", host::settings::Read(host::settings::kBaseHome));
    EXPECT_THROW(emulator().WriteClientSettings(dir.File("bad.ini"), "[unclosed\n"), std::runtime_error);
}

TEST_F(EmulatorCoreTest, ResetWorldRestoresTheSeed) {
    {
        gcemu::World::Txn world = emulator().world().Lock();
        world.Erase(gcemu::collections::kComputeProjects, "gcemu-project-1");
    }
    const std::string token = Token();
    EXPECT_EQ(404, Get(kProject1, token).status);
    emulator().faults().Add(Fault("x"));
    emulator().ResetWorld();
    EXPECT_EQ(0u, emulator().journal().size());
    EXPECT_EQ(0u, emulator().faults().Pending());
    EXPECT_EQ(200, Get(kProject1, token).status);  // tokens survive a reset
}

}  // namespace
