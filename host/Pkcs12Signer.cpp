// RS256 with the key of a PKCS#12 file (the service-account .p12 key files).
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "host/HbDebug.h"
#include "host/ZKLibCurl.h"

namespace {

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
struct Pkcs12Free {
    void operator()(PKCS12* p12) const { PKCS12_free(p12); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// OpenSSL's reasons for the last failure, emptying its error queue.
std::string OpenSslReason() {
    std::string reason;
    for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        if (!reason.empty()) reason += "; ";
        reason += text;
    }
    return reason.empty() ? "no reason given" : reason;
}

// Google's .p12 key files are protected with RC2 and 3DES, which OpenSSL 3 keeps in its legacy
// provider. Loading a provider by hand stops the default one from loading by itself, so both go in.
// They are unloaded at exit (before OpenSSL's own clean-up) so that nothing is left behind.
class Providers {
public:
    Providers() {
        HbDebug log;
        m_default = OSSL_PROVIDER_load(nullptr, "default");
        if (!m_default)
            log.Debug(__PRETTY_FUNCTION__, "OpenSSL default provider not loaded: %s",
                      OpenSslReason().c_str());
        m_legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        if (!m_legacy)
            log.Debug(__PRETTY_FUNCTION__,
                      "OpenSSL legacy provider not loaded (%s); only AES-protected key files can be read",
                      OpenSslReason().c_str());
        ERR_clear_error();
    }
    ~Providers() {
        if (m_legacy) OSSL_PROVIDER_unload(m_legacy);
        if (m_default) OSSL_PROVIDER_unload(m_default);
    }
    Providers(const Providers&) = delete;
    Providers& operator=(const Providers&) = delete;

private:
    OSSL_PROVIDER* m_default = nullptr;
    OSSL_PROVIDER* m_legacy = nullptr;
};

void LoadLegacyProvider() {
    static Providers providers;
}

}  // namespace

std::string ZKLibCurl::GetLastSignError() const {
    return m_lastSignError;
}

bool ZKLibCurl::SignSHA256withRSA(const char* keyFilePath, const std::string& data, const char* password,
                                  unsigned char* signature, unsigned int& signatureLength) {
    HbDebug log;
    signatureLength = 0;
    m_lastSignError.clear();
    // The log line keeps OpenSSL's own reasons; the recorded text is the one a user can act on.
    const char* tag = __PRETTY_FUNCTION__;
    auto fail = [&](const std::string& userText, const std::string& detail = std::string()) {
        m_lastSignError = userText;
        log.Error(tag, "%s%s%s", userText.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        return false;
    };
    const char* path = keyFilePath ? keyFilePath : "";
    if (!*path || !signature) return fail(*path ? "no signature buffer given" : "no key file given");
    LoadLegacyProvider();
    ERR_clear_error();

    std::unique_ptr<FILE, FileClose> file(std::fopen(path, "rb"));
    if (!file) return fail(std::string("cannot open key file ") + path + ": " + std::strerror(errno));
    std::unique_ptr<PKCS12, Pkcs12Free> p12(d2i_PKCS12_fp(file.get(), nullptr));
    if (!p12) return fail(std::string("key file ") + path + " is not a PKCS#12 file", OpenSslReason());
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    if (PKCS12_parse(p12.get(), password, &rawKey, &rawCert, nullptr) != 1) {
        const std::string reason = OpenSslReason();
        if (reason.find("mac verify failure") != std::string::npos)
            return fail(std::string("key file ") + path + " cannot be opened with the given password",
                        reason);
        return fail(std::string("cannot open key file ") + path, reason);
    }
    std::unique_ptr<EVP_PKEY, PkeyFree> key(rawKey);
    std::unique_ptr<X509, X509Free> cert(rawCert);
    if (!key) return fail(std::string("key file ") + path + " holds no private key");
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA)
        return fail(std::string("key file ") + path + " holds a private key that is not RSA");
    if (static_cast<size_t>(EVP_PKEY_get_size(key.get())) > kMaxSignatureBytes)
        return fail(std::string("key file ") + path + " holds a key larger than " +
                    std::to_string(kMaxSignatureBytes) + " bytes");

    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    EVP_PKEY_CTX* keyCtx = nullptr;
    size_t length = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), &keyCtx, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(keyCtx, RSA_PKCS1_PADDING) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(data.data()),
                       data.size()) != 1)
        return fail(std::string("cannot sign with key file ") + path, OpenSslReason());
    if (length > kMaxSignatureBytes)
        return fail(std::string("a signature with key file ") + path + " would need " +
                    std::to_string(length) + " bytes");
    if (EVP_DigestSign(ctx.get(), signature, &length, reinterpret_cast<const unsigned char*>(data.data()),
                       data.size()) != 1)
        return fail(std::string("cannot sign with key file ") + path, OpenSslReason());
    signatureLength = static_cast<unsigned int>(length);
    return true;
}
