// Sign-in and transport over real TLS against the emulator: JSON and PKCS#12 keys (ours and the
// openssl command's), renewal, the one resend after a 401, refused certificates, and logs that never
// carry a credential.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "emulator/CertificateAuthority.h"
#include "tests/support/EmulatorFixture.h"
#include "tests/support/FakeClock.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using testsupport::LogCapture;
using testsupport::TempDir;

const char kProject[] = "gcemu-project-1";
const char kOAuthHost[] = "www.googleapis.com";
const char kComputeHost[] = "compute.googleapis.com";

std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    if (status != 0) output = "FAILED(" + std::to_string(status) + "): " + output;
    return output;
}

class ConnectionEmulatorTest : public testsupport::EmulatorTest {
protected:
    size_t TokenRequests() { return Requests("POST", kOAuthHost, "/oauth2/"); }
    size_t ProjectGets() { return Requests("GET", kComputeHost, "/compute/v1/projects/"); }
    std::string LastAssertion() {
        std::string assertion;
        for (const auto& entry : Emulator().journal().Snapshot()) {
            size_t at = entry.body.find("assertion=");
            if (entry.host == kOAuthHost && at != std::string::npos) assertion = entry.body.substr(at + 10);
        }
        return assertion;
    }
};

TEST_F(ConnectionEmulatorTest, SignsInWithTheJsonKeyAndReadsProjects) {
    auto wrapper = Connected();
    EXPECT_EQ(TokenRequests(), 1u);
    EXPECT_TRUE(wrapper->isProjectAccessible(kProject));
    EXPECT_FALSE(wrapper->isProjectAccessible("no-such-project"));
    EXPECT_EQ(wrapper->GetLastErrorCode(), "404") << "the failed exchange is recorded, not decoded";

    size_t before = ProjectGets();
    EXPECT_FALSE(wrapper->isProjectAccessible(""));
    EXPECT_EQ(ProjectGets(), before) << "nothing is sent without a project";

    // The trailing slash of the project resource, and a project id that could cut the URL, escaped.
    auto journal = Emulator().journal().Snapshot();
    EXPECT_EQ(journal[1].path, "/compute/v1/projects/gcemu-project-1/");
    EXPECT_FALSE(wrapper->isProjectAccessible("p?x#y"));
    EXPECT_EQ(Emulator().journal().Snapshot().back().path, "/compute/v1/projects/p%3Fx%23y/");
}

TEST_F(ConnectionEmulatorTest, SignsInWithThePkcs12File) {
    CGoogleCloudSDKWrapper wrapper;
    ASSERT_TRUE(wrapper.Connect(Key().p12File, Key().email, Key().p12Password)) << wrapper.GetLastError();
    EXPECT_TRUE(wrapper.isProjectAccessible(kProject));
    EXPECT_FALSE(wrapper.Connect(Key().p12File, Key().email, "wrong"));
}

TEST_F(ConnectionEmulatorTest, SignsInWithKeysMadeByTheOpensslCommand) {
    TempDir dir;
    std::string key = dir.File("key.pem"), cert = dir.File("cert.pem"), p12 = dir.File("key.p12");
    ASSERT_EQ(
        RunCommand("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " + key).find("FAILED"),
        std::string::npos);
    ASSERT_EQ(
        RunCommand("openssl req -x509 -new -key " + key + " -subj /CN=openssl-made -days 1 -out " + cert)
            .find("FAILED"),
        std::string::npos);
    ASSERT_EQ(RunCommand("openssl pkcs12 -export -legacy -inkey " + key + " -in " + cert +
                         " -name privatekey -passout pass:notasecret -out " + p12)
                  .find("FAILED"),
              std::string::npos);
    const std::string email = "openssl-made@gcemu-project-1.iam.gserviceaccount.com";
    Emulator().RegisterServiceAccount(email, testsupport::ReadFile(cert));

    CGoogleCloudSDKWrapper withPem;
    ASSERT_TRUE(withPem.Connect("", email, testsupport::ReadFile(key))) << withPem.GetLastError();
    EXPECT_TRUE(withPem.isProjectAccessible(kProject));

    // The key file is found under the agent's base folder by its bare name.
    std::string base = dir.File("agent");
    dir.Write("agent/certificates/external/key.p12", testsupport::ReadFile(p12));
    UseSettings("[Base]\ndBASEHOME=" + base + "\n");
    CGoogleCloudSDKWrapper withP12;
    ASSERT_TRUE(withP12.Connect("key.p12", email, "notasecret")) << withP12.GetLastError();
    EXPECT_TRUE(withP12.isProjectAccessible(kProject));
}

TEST_F(ConnectionEmulatorTest, TheAssertionVerifiesWithAnIndependentJwtLibrary) {
    if (RunCommand("/usr/bin/python3 -c 'import jwt'").find("FAILED") != std::string::npos)
        GTEST_SKIP() << "python3-jwt is not installed";
    auto wrapper = Connected();
    TempDir dir;
    std::string publicKey = dir.Write("public.pem", gcemu::PublicKeyPemOf(Key().privateKeyPem));
    std::string output = RunCommand(
        "/usr/bin/python3 -c 'import jwt,sys; c=jwt.decode(sys.argv[1], open(sys.argv[2]).read(), "
        "algorithms=[\"RS256\"], audience=\"https://www.googleapis.com/oauth2/v3/token\"); "
        "print(c[\"iss\"], c[\"scope\"], c[\"exp\"]-c[\"iat\"])' " +
        LastAssertion() + " " + publicKey);
    EXPECT_EQ(output, std::string(AccountEmail()) + " https://www.googleapis.com/auth/cloud-platform 3600\n");
}

TEST_F(ConnectionEmulatorTest, RenewsAnExpiredTokenBeforeTheRequest) {
    testsupport::ScopedFakeClock time(static_cast<int64_t>(std::time(nullptr)));
    auto wrapper = Connected();
    ASSERT_TRUE(wrapper->isProjectAccessible(kProject));
    EXPECT_EQ(TokenRequests(), 1u);

    time.clock.Advance(3601);  // past the expiry on both sides
    ASSERT_TRUE(wrapper->isProjectAccessible(kProject));
    EXPECT_EQ(TokenRequests(), 2u);
    EXPECT_EQ(ProjectGets(), 2u) << "renewed before sending, so no 401 on the way";
}

TEST_F(ConnectionEmulatorTest, ResendsExactlyOnceAfterA401) {
    auto wrapper = Connected();
    Emulator().RevokeAllTokens();
    ASSERT_TRUE(wrapper->isProjectAccessible(kProject));
    EXPECT_EQ(TokenRequests(), 2u);
    EXPECT_EQ(ProjectGets(), 2u);
    auto journal = Emulator().journal().Snapshot();
    EXPECT_EQ(journal[1].status, 401);
    EXPECT_EQ(journal.back().status, 200);

    // The token endpoint refusing the renewal ends it there: no resend, and the refusal is recorded.
    Emulator().RevokeAllTokens();
    Emulator().faults().Add({"POST", "www.googleapis.com/oauth2", 1, gcemu::FaultKind::kStatus, 400,
                             R"({"error":"invalid_grant","error_description":"Invalid JWT Signature."})", 0});
    EXPECT_FALSE(wrapper->isProjectAccessible(kProject));
    EXPECT_EQ(TokenRequests(), 3u);
    EXPECT_EQ(ProjectGets(), 3u);
    EXPECT_EQ(wrapper->GetLastErrorCode(), "invalid_grant");
    EXPECT_EQ(wrapper->GetLastError(), "Invalid JWT Signature.");
}

TEST_F(ConnectionEmulatorTest, ARefusedSignInTellsWhy) {
    CGoogleCloudSDKWrapper wrapper;
    EXPECT_FALSE(wrapper.Connect("", "unknown@gcemu-project-1.iam.gserviceaccount.com", Key().privateKeyPem));
    EXPECT_EQ(wrapper.GetLastErrorCode(), "invalid_grant");
    EXPECT_EQ(wrapper.GetLastError(), "Invalid grant: account not found");
    EXPECT_FALSE(wrapper.isProjectAccessible(kProject)) << "no token: the renewal fails and nothing is sent";
    EXPECT_EQ(ProjectGets(), 0u);
}

TEST_F(ConnectionEmulatorTest, RefusesAServerCertificateFromAnotherAuthority) {
    TempDir dir;
    gcemu::CertificateAuthority other("another authority");
    std::string otherCa = dir.Write("other-ca.pem", other.CertificatePem());
    UseSettings("[GoogleCloud]\nsCaBundle=" + otherCa + "\n");
    CGoogleCloudSDKWrapper wrapper;
    EXPECT_FALSE(wrapper.Connect("", Key().email, Key().privateKeyPem));
    EXPECT_EQ(wrapper.GetLastErrorCode(), "UNAVAILABLE");
    EXPECT_EQ(TokenRequests(), 0u) << "nothing crosses a connection that failed verification";
}

TEST_F(ConnectionEmulatorTest, NoCredentialReachesAnyLogLine) {
    UseSettings("[GoogleCloud]\nnLogLevel=2\n");
    LogCapture capture;
    auto wrapper = Connected();
    ASSERT_TRUE(wrapper->isProjectAccessible(kProject));
    CGoogleCloudSDKWrapper withP12;
    ASSERT_TRUE(withP12.Connect(Key().p12File, Key().email, Key().p12Password));
    Emulator().RevokeAllTokens();
    Emulator().faults().Add({"POST", "www.googleapis.com/oauth2", 1, gcemu::FaultKind::kStatus, 400,
                             R"({"error":"invalid_grant","error_description":"Invalid JWT Signature."})", 0});
    EXPECT_FALSE(wrapper->isProjectAccessible(kProject));

    std::string assertion = LastAssertion();
    std::string signature = assertion.substr(assertion.rfind('.') + 1);
    ASSERT_GT(signature.size(), 100u);
    bool sawResponse = false;
    for (const auto& line : capture.Lines()) {
        EXPECT_EQ(line.message.find("ya29."), std::string::npos) << line.message;
        EXPECT_EQ(line.message.find(signature.substr(0, 40)), std::string::npos) << line.message;
        EXPECT_EQ(line.message.find("PRIVATE KEY"), std::string::npos) << line.message;
        EXPECT_EQ(line.message.find(Key().p12Password), std::string::npos) << line.message;
        sawResponse |= line.message.find("Response from [https://www.googleapis.com/oauth2/v3/token]") == 0;
    }
    EXPECT_TRUE(sawResponse) << "the token exchange is still logged, with its secrets cut\n"
                             << capture.Dump();
}

}  // namespace
