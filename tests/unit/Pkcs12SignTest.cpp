// RS256 with PKCS#12 key files as Google hands them out (legacy RC2/3DES) and as OpenSSL 3 writes them.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "emulator/CertificateAuthority.h"
#include "host/HbDebug.h"
#include "host/ZKLibCurl.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kPassword = "notasecret";

std::string RunOutput(const std::string& command, int& status) {
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::string output;
    if (!pipe) {
        status = -1;
        return output;
    }
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    status = pclose(pipe);
    return output;
}

void RunCommand(const std::string& command) {
    int status = 0;
    const std::string output = RunOutput(command, status);
    ASSERT_EQ(status, 0) << command << "\n" << output;
}

class Pkcs12SignTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new testsupport::TempDir();
        const std::string d = s_dir->path() + "/";
        RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + d + "key.pem -out " + d +
                   "cert.pem -days 2 -subj /CN=sa-test");
        RunCommand("openssl pkcs12 -export -legacy -name privatekey -in " + d + "cert.pem -inkey " + d +
                   "key.pem -out " + d + "legacy.p12 -passout pass:" + kPassword);
        RunCommand("openssl pkcs12 -export -name privatekey -in " + d + "cert.pem -inkey " + d +
                   "key.pem -out " + d + "aes.p12 -passout pass:" + kPassword);
        RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " + d +
                   "ec.pem -out " + d + "ec-cert.pem -days 2 -subj /CN=ec-test");
        RunCommand("openssl pkcs12 -export -in " + d + "ec-cert.pem -inkey " + d + "ec.pem -out " + d +
                   "ec.p12 -passout pass:" + kPassword);
        s_keyPem = testsupport::ReadFile(d + "key.pem");
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }

    static std::string Path(const std::string& name) { return s_dir->File(name); }

    static bool Verifies(const std::string& data, const unsigned char* signature, unsigned int length) {
        gcemu::EvpPkeyPtr key = gcemu::ReadPrivateKeyPem(s_keyPem);
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
        return EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
               EVP_DigestVerify(ctx.get(), signature, length,
                                reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
    }

    static testsupport::TempDir* s_dir;
    static std::string s_keyPem;
};

testsupport::TempDir* Pkcs12SignTest::s_dir = nullptr;
std::string Pkcs12SignTest::s_keyPem;

TEST_F(Pkcs12SignTest, LegacyFileReallyUsesLegacyCiphers) {
    int status = 0;
    const std::string info = RunOutput(
        "openssl pkcs12 -legacy -info -noout -in " + Path("legacy.p12") + " -passin pass:" + kPassword,
        status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_NE(info.find("RC2"), std::string::npos) << info;
}

TEST_F(Pkcs12SignTest, SignsWithEveryProtection) {
    const std::string data = "eyJhbGciOiJSUzI1NiIsInR5cCI6IkpXVCJ9.eyJzY29wZSI6ImNsb3VkLXBsYXRmb3JtIn0";
    s_dir->Write("data.txt", data);
    RunCommand("openssl dgst -sha256 -sign " + Path("key.pem") + " -out " + Path("data.sig") + " " +
               Path("data.txt"));
    const std::string reference = testsupport::ReadFile(Path("data.sig"));

    // Also a legacy file written in-process, as the emulator hands them out.
    gcemu::KeyedCertificate keyed = gcemu::MakeSelfSignedCertificate(s_keyPem, "sa-test");
    s_dir->Write("made-legacy.p12", gcemu::MakePkcs12(keyed, kPassword, gcemu::Pkcs12Protection::kLegacy));
    s_dir->Write("made-aes.p12", gcemu::MakePkcs12(keyed, kPassword, gcemu::Pkcs12Protection::kAes));

    for (const char* file : {"legacy.p12", "aes.p12", "made-legacy.p12", "made-aes.p12"}) {
        SCOPED_TRACE(file);
        ZKLibCurl client;
        std::vector<unsigned char> signature(ZKLibCurl::kMaxSignatureBytes, 0);
        unsigned int length = 12345;
        ASSERT_TRUE(client.SignSHA256withRSA(Path(file).c_str(), data, kPassword, signature.data(), length));
        ASSERT_EQ(length, 256u);
        EXPECT_TRUE(Verifies(data, signature.data(), length));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(signature.data()), length), reference);
    }
}

TEST_F(Pkcs12SignTest, FailuresReturnFalseAndNeverLogThePassword) {
    const std::string notPkcs12 = Path("cert.pem");
    struct Case {
        const char* name;
        std::string path;
        const char* password;
        const char* mentioned;  // what the error line names
    };
    const Case cases[] = {
        {"wrong password, legacy", Path("legacy.p12"), "WrongPass-7391", "legacy.p12"},
        {"wrong password, AES", Path("aes.p12"), "WrongPass-7391", "aes.p12"},
        {"no password", Path("aes.p12"), nullptr, "aes.p12"},
        {"missing file", Path("absent.p12"), kPassword, "absent.p12"},
        {"not PKCS#12", notPkcs12, kPassword, "cert.pem"},
        {"EC key", Path("ec.p12"), kPassword, "ec.p12"},
        {"no path", "", kPassword, "key file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::LogCapture log;
        ZKLibCurl client;
        std::vector<unsigned char> signature(ZKLibCurl::kMaxSignatureBytes, 0);
        unsigned int length = 77;
        EXPECT_FALSE(client.SignSHA256withRSA(c.path.c_str(), "data", c.password, signature.data(), length));
        EXPECT_EQ(length, 0u);
        bool errorLine = false;
        for (const host::LogLine& line : log.Lines()) {
            if (line.level == host::kLogError && line.message.find(c.mentioned) != std::string::npos)
                errorLine = true;
            if (c.password) {
                EXPECT_EQ(line.message.find(c.password), std::string::npos) << line.message;
            }
        }
        EXPECT_TRUE(errorLine) << log.Dump();
    }
}

TEST_F(Pkcs12SignTest, NullSignatureBufferRefused) {
    ZKLibCurl client;
    unsigned int length = 5;
    EXPECT_FALSE(client.SignSHA256withRSA(Path("aes.p12").c_str(), "data", kPassword, nullptr, length));
    EXPECT_EQ(length, 0u);
}

}  // namespace
