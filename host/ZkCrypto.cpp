#include "host/ZkCrypto.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// The OpenSSL error queue as text (emptying it), after what we were doing.
[[noreturn]] void ThrowOpenSsl(const std::string& what) {
    std::string message = what;
    const char* separator = ": ";
    for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        message += separator;
        message += text;
        separator = "; ";
    }
    throw ZkException(message);
}

struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

// Never prompts: an encrypted key without a password simply fails to load.
int PasswordCallback(char* buffer, int size, int /*writing*/, void* context) {
    const auto* password = static_cast<const std::string*>(context);
    if (!password || password->empty() || size <= 0) return 0;
    const int length = static_cast<int>(std::min<size_t>(password->size(), static_cast<size_t>(size)));
    std::memcpy(buffer, password->data(), static_cast<size_t>(length));
    return length;
}

}  // namespace

ZkException::ZkException(std::string message) : m_message(std::move(message)) {}

const char* ZkException::what() const noexcept {
    return m_message.c_str();
}

ZkcBucket::ZkcBucket(const unsigned char* data, size_t size) {
    if (data && size > 0) m_data.assign(data, data + size);
}

ZkcSHA256::ZkcSHA256() : m_context(EVP_MD_CTX_new()) {
    ERR_clear_error();
    if (!m_context) ThrowOpenSsl("SHA-256: no digest context");
    if (EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(m_context);
        ThrowOpenSsl("SHA-256: initialisation failed");
    }
}

ZkcSHA256::~ZkcSHA256() {
    EVP_MD_CTX_free(m_context);
}

void ZkcSHA256::addData(const void* data, size_t length) {
    if (m_finished) throw ZkException("SHA-256: data added after the digest was taken");
    if (length == 0) return;
    if (!data) throw ZkException("SHA-256: no data");
    ERR_clear_error();
    if (EVP_DigestUpdate(m_context, data, length) != 1) ThrowOpenSsl("SHA-256: update failed");
}

void ZkcSHA256::finish(unsigned char* digest, size_t length) {
    if (m_finished) throw ZkException("SHA-256: the digest was already taken");
    if (!digest || length < kDigestLength)
        throw ZkException("SHA-256: the digest buffer holds " + std::to_string(digest ? length : 0) +
                          " bytes, 32 are needed");
    ERR_clear_error();
    unsigned int written = 0;
    m_finished = true;
    if (EVP_DigestFinal_ex(m_context, digest, &written) != 1) ThrowOpenSsl("SHA-256: final step failed");
}

ZkcRSA::ZkcRSA() = default;

ZkcRSA::~ZkcRSA() {
    EVP_PKEY_free(m_key);
}

void ZkcRSA::enablePadding(bool enable) {
    m_padding = enable;
}

void ZkcRSA::setPriKeyPEM(const std::string& pem, const std::string& password) {
    ERR_clear_error();
    if (pem.size() > static_cast<size_t>(INT32_MAX)) throw ZkException("RSA: the key text is too long");
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) ThrowOpenSsl("RSA: cannot read the key text");
    EVP_PKEY* key =
        PEM_read_bio_PrivateKey(bio.get(), nullptr, &PasswordCallback, const_cast<std::string*>(&password));
    if (!key) ThrowOpenSsl("RSA: the private key cannot be loaded");
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        EVP_PKEY_free(key);
        ERR_clear_error();
        throw ZkException("RSA: the private key is not an RSA key");
    }
    EVP_PKEY_free(m_key);
    m_key = key;
}

size_t ZkcRSA::getModSize() const {
    if (!m_key) throw ZkException("RSA: no private key loaded");
    const int size = EVP_PKEY_get_size(m_key);
    return size > 0 ? static_cast<size_t>(size) : 0;
}

ZkcBucket ZkcRSA::sign(const unsigned char* digest, size_t length) const {
    if (!m_key) throw ZkException("RSA: no private key loaded");
    if (!digest) throw ZkException("RSA: nothing to sign");
    if (m_padding && length != ZkcSHA256::kDigestLength)
        throw ZkException("RSA: a SHA-256 digest has 32 bytes, not " + std::to_string(length));
    const size_t modulus = getModSize();
    if (!m_padding && length != modulus)
        throw ZkException("RSA: unpadded input must have the modulus size (" + std::to_string(modulus) +
                          " bytes), not " + std::to_string(length));

    ERR_clear_error();
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new(m_key, nullptr));
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1) ThrowOpenSsl("RSA: signing cannot start");
    if (m_padding) {
        // With the digest named, OpenSSL adds the DigestInfo prefix PKCS#1 v1.5 signatures carry.
        if (EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
            EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()) != 1)
            ThrowOpenSsl("RSA: PKCS#1 v1.5 padding refused");
    } else if (EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING) != 1) {
        ThrowOpenSsl("RSA: raw mode refused");
    }
    size_t signatureLength = 0;
    if (EVP_PKEY_sign(ctx.get(), nullptr, &signatureLength, digest, length) != 1)
        ThrowOpenSsl("RSA: signing failed");
    std::vector<unsigned char> signature(signatureLength);
    if (EVP_PKEY_sign(ctx.get(), signature.data(), &signatureLength, digest, length) != 1)
        ThrowOpenSsl("RSA: signing failed");
    return ZkcBucket(signature.data(), signatureLength);
}
