#include "emulator/Accounts.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <memory>

#include "emulator/Encoding.h"
#include "host/HostClock.h"

namespace gcemu {
namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

EvpPkeyPtr ReadPublicKey(const std::string& pem) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) throw PkiError("cannot read the key PEM");
    EvpPkeyPtr key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key) {
        ERR_clear_error();
        (void)BIO_reset(bio.get());
        X509Ptr certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
        if (certificate) key.reset(X509_get_pubkey(certificate.get()));
    }
    ERR_clear_error();
    if (!key) throw PkiError("neither a public key nor a certificate PEM");
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) throw PkiError("not an RSA key");
    return key;
}

}  // namespace

Accounts::Accounts(int64_t tokenLifetimeSecs) : m_lifetime(tokenLifetimeSecs) {}

void Accounts::Register(const std::string& email, const std::string& publicKeyOrCertificatePem) {
    EvpPkeyPtr key = ReadPublicKey(publicKeyOrCertificatePem);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keys[email] = std::move(key);
}

bool Accounts::Has(const std::string& email) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_keys.count(email) != 0;
}

bool Accounts::VerifyRs256(const std::string& email, const std::string& signedText,
                           const std::string& signature) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_keys.find(email);
    if (found == m_keys.end()) return false;
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> context(EVP_MD_CTX_new());
    // The default padding of an RSA key is PKCS#1 v1.5, which is what RS256 means.
    const bool valid =
        context &&
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, found->second.get()) == 1 &&
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                         signature.size(), reinterpret_cast<const unsigned char*>(signedText.data()),
                         signedText.size()) == 1;
    ERR_clear_error();
    return valid;
}

IssuedToken Accounts::Issue(const std::string& email) {
    const int64_t now = host::Now();
    IssuedToken issued;
    issued.accessToken = "ya29.c." + RandomUrlSafe(64);
    issued.expiresIn = m_lifetime;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto token = m_tokens.begin(); token != m_tokens.end();) {
        token = token->second.expiresAt <= now ? m_tokens.erase(token) : std::next(token);
    }
    m_tokens[issued.accessToken] = Token{email, now + m_lifetime};
    return issued;
}

TokenState Accounts::Check(const std::string& accessToken) const {
    const int64_t now = host::Now();
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_tokens.find(accessToken);
    if (found == m_tokens.end()) return TokenState::kUnknown;
    return found->second.expiresAt <= now ? TokenState::kExpired : TokenState::kValid;
}

std::string Accounts::AccountOf(const std::string& accessToken) const {
    if (Check(accessToken) != TokenState::kValid) return std::string();
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_tokens.find(accessToken);
    return found == m_tokens.end() ? std::string() : found->second.email;
}

void Accounts::RevokeAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tokens.clear();
}

}  // namespace gcemu
