// Key material made at run time: a certificate authority that issues TLS server certificates (the
// emulator's HTTPS endpoint, HTTPS tests), and RSA keys, self-signed certificates and PKCS#12 files
// for service accounts. Everything is in memory; callers write PEM files where they need them.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace gcemu {

// Any OpenSSL failure, with OpenSSL's reason.
class PkiError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct X509Free {
    void operator()(X509* cert) const noexcept { X509_free(cert); }
};
struct EvpPkeyFree {
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

// A certificate with its private key.
class KeyedCertificate {
public:
    KeyedCertificate(X509Ptr certificate, EvpPkeyPtr key);

    // Owned by this object; valid while it lives (cpp-httplib's SSLServer takes its own reference).
    X509* certificate() const { return m_certificate.get(); }
    EVP_PKEY* key() const { return m_key.get(); }
    // Independent copies for callers that keep them beyond this object.
    X509Ptr DuplicateCertificate() const;
    EvpPkeyPtr DuplicateKey() const;

    std::string CertificatePem() const;
    // Unencrypted PKCS#8 ("BEGIN PRIVATE KEY").
    std::string KeyPem() const;
    std::string PublicKeyPem() const;

private:
    X509Ptr m_certificate;
    EvpPkeyPtr m_key;
};

// How a PKCS#12 file protects its content.
enum class Pkcs12Protection {
    kLegacy,  // RC2-40 certificates, 3DES key, SHA-1 MAC: what Google hands out for .p12 keys
    kAes,     // AES-256-CBC with PBKDF2, SHA-256 MAC: OpenSSL 3's default
};

class CertificateAuthority {
public:
    // A fresh RSA-2048 root: self-signed, CA:TRUE, keyCertSign, valid from an hour ago.
    explicit CertificateAuthority(const std::string& commonName = "gcemu local CA", int validDays = 30);

    const KeyedCertificate& Root() const { return m_root; }
    // The root certificate, for a client's CA bundle.
    std::string CertificatePem() const { return m_root.CertificatePem(); }

    // A TLS server certificate (serverAuth) with a new RSA-2048 key, naming the DNS names (wildcards
    // allowed, e.g. "*.googleapis.com") and IP addresses ("127.0.0.1", "::1") in its subjectAltName.
    // Valid from an hour ago for validDays days.
    KeyedCertificate IssueServerCertificate(const std::vector<std::string>& dnsNames,
                                            const std::vector<std::string>& ipAddresses = {},
                                            int validDays = 30) const;

private:
    KeyedCertificate m_root;
};

EvpPkeyPtr GenerateRsaKey(int bits = 2048);
// A new RSA private key as unencrypted PKCS#8 PEM.
std::string GenerateRsaKeyPem(int bits = 2048);
// Reads a private key from PEM (PKCS#8 or PKCS#1, unencrypted).
EvpPkeyPtr ReadPrivateKeyPem(const std::string& pem);
std::string PrivateKeyPem(EVP_PKEY* key);
// SubjectPublicKeyInfo PEM ("BEGIN PUBLIC KEY").
std::string PublicKeyPem(EVP_PKEY* key);
std::string PublicKeyPemOf(const std::string& privateKeyPem);
std::string CertificatePem(X509* certificate);

// A self-signed certificate for a key, as Google publishes for service-account keys.
KeyedCertificate MakeSelfSignedCertificate(const std::string& privateKeyPem, const std::string& commonName,
                                           int validDays = 3650);
// A PKCS#12 file (DER bytes) holding the certificate and key under the friendly name "privatekey".
// Does not touch the process's default OpenSSL providers.
std::string MakePkcs12(const KeyedCertificate& keyed, const std::string& password,
                       Pkcs12Protection protection = Pkcs12Protection::kLegacy);

}  // namespace gcemu
