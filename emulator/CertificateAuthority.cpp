#include "emulator/CertificateAuthority.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace gcemu {

namespace {

constexpr long kBackdateSecs = 3600;  // tolerates a little clock skew between processes
constexpr int kPkcs12Iterations = 2048;

[[noreturn]] void Fail(const std::string& what) {
    std::string message = what;
    const char* separator = ": ";
    for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        message += separator;
        message += text;
        separator = "; ";
    }
    throw PkiError(message);
}

void Check(int result, const char* what) {
    if (result != 1) Fail(what);
}

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;

BioPtr NewMemoryBio() {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) Fail("no memory BIO");
    return bio;
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<size_t>(length));
}

BioPtr ReadOnlyBio(const std::string& text) {
    BioPtr bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    if (!bio) Fail("no memory BIO");
    return bio;
}

// A positive random serial of 159 bits, as RFC 5280 allows at most 20 octets.
void SetRandomSerial(X509* cert) {
    std::unique_ptr<BIGNUM, decltype(&BN_free)> serial(BN_new(), &BN_free);
    if (!serial) Fail("no serial number");
    Check(BN_rand(serial.get(), 159, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY), "random serial number");
    if (!BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert))) Fail("serial number");
}

X509_NAME* NameWithCommonName(const std::string& commonName, const char* organization) {
    X509_NAME* name = X509_NAME_new();
    if (!name) Fail("no name");
    auto add = [name](const char* field, const std::string& value) {
        if (X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(value.c_str()),
                                       static_cast<int>(value.size()), -1, 0) != 1) {
            X509_NAME_free(name);
            Fail(std::string("certificate name field ") + field);
        }
    };
    if (organization) add("O", organization);
    // A common name holds at most 64 characters; the subjectAltName carries the real names anyway.
    add("CN", commonName.substr(0, 64));
    return name;
}

// A certificate with validity, subject, issuer and public key filled in.
X509Ptr NewCertificate(EVP_PKEY* subjectKey, const std::string& commonName, X509_NAME* issuer,
                       int validDays) {
    X509Ptr cert(X509_new());
    if (!cert) Fail("no certificate");
    Check(X509_set_version(cert.get(), X509_VERSION_3), "certificate version");
    SetRandomSerial(cert.get());
    if (!X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kBackdateSecs) ||
        !X509_time_adj_ex(X509_getm_notAfter(cert.get()), validDays, 0, nullptr))
        Fail("certificate validity");
    X509_NAME* subject = NameWithCommonName(commonName, "gcemu");
    const int subjectSet = X509_set_subject_name(cert.get(), subject);
    const int issuerSet = X509_set_issuer_name(cert.get(), issuer ? issuer : subject);
    X509_NAME_free(subject);
    Check(subjectSet, "certificate subject");
    Check(issuerSet, "certificate issuer");
    Check(X509_set_pubkey(cert.get(), subjectKey), "certificate public key");
    return cert;
}

void AddExtension(X509* cert, X509V3_CTX* ctx, int nid, const char* value) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, ctx, nid, value);
    if (!extension) Fail(std::string("certificate extension ") + OBJ_nid2sn(nid));
    const int added = X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
    Check(added, "certificate extension");
}

void SetSubjectAltNames(X509* cert, const std::vector<std::string>& dnsNames,
                        const std::vector<std::string>& ipAddresses) {
    std::unique_ptr<GENERAL_NAMES, decltype(&GENERAL_NAMES_free)> names(sk_GENERAL_NAME_new_null(),
                                                                        &GENERAL_NAMES_free);
    if (!names) Fail("no subjectAltName");
    for (const std::string& dns : dnsNames) {
        if (dns.empty() || dns.find('\0') != std::string::npos)
            throw PkiError("invalid DNS name '" + dns + "'");
        ASN1_IA5STRING* text = ASN1_IA5STRING_new();
        if (!text || ASN1_STRING_set(text, dns.data(), static_cast<int>(dns.size())) != 1) {
            ASN1_IA5STRING_free(text);
            Fail("subjectAltName DNS name");
        }
        GENERAL_NAME* name = GENERAL_NAME_new();
        if (!name) {
            ASN1_IA5STRING_free(text);
            Fail("subjectAltName entry");
        }
        GENERAL_NAME_set0_value(name, GEN_DNS, text);
        if (!sk_GENERAL_NAME_push(names.get(), name)) {
            GENERAL_NAME_free(name);
            Fail("subjectAltName entry");
        }
    }
    for (const std::string& ip : ipAddresses) {
        ASN1_OCTET_STRING* address = a2i_IPADDRESS(ip.c_str());
        if (!address) {
            ERR_clear_error();
            throw PkiError("invalid IP address '" + ip + "'");
        }
        GENERAL_NAME* name = GENERAL_NAME_new();
        if (!name) {
            ASN1_OCTET_STRING_free(address);
            Fail("subjectAltName entry");
        }
        GENERAL_NAME_set0_value(name, GEN_IPADD, address);
        if (!sk_GENERAL_NAME_push(names.get(), name)) {
            GENERAL_NAME_free(name);
            Fail("subjectAltName entry");
        }
    }
    Check(X509_add1_ext_i2d(cert, NID_subject_alt_name, names.get(), 0, X509V3_ADD_DEFAULT),
          "subjectAltName");
}

// Providers for writing legacy PKCS#12 files, kept apart from the process's default context so that
// nothing here changes what the code under test can or cannot read.
OSSL_LIB_CTX* Pkcs12Context() {
    static OSSL_LIB_CTX* context = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        OSSL_LIB_CTX* made = OSSL_LIB_CTX_new();
        if (made && OSSL_PROVIDER_load(made, "default") && OSSL_PROVIDER_load(made, "legacy")) context = made;
        ERR_clear_error();
    });
    return context;
}

}  // namespace

KeyedCertificate::KeyedCertificate(X509Ptr certificate, EvpPkeyPtr key)
    : m_certificate(std::move(certificate)), m_key(std::move(key)) {
    if (!m_certificate || !m_key) throw PkiError("a keyed certificate needs a certificate and a key");
}

X509Ptr KeyedCertificate::DuplicateCertificate() const {
    X509Ptr copy(X509_dup(m_certificate.get()));
    if (!copy) Fail("certificate copy");
    return copy;
}

EvpPkeyPtr KeyedCertificate::DuplicateKey() const {
    EvpPkeyPtr copy(EVP_PKEY_dup(m_key.get()));
    if (!copy) Fail("key copy");
    return copy;
}

std::string KeyedCertificate::CertificatePem() const {
    return gcemu::CertificatePem(m_certificate.get());
}

std::string KeyedCertificate::KeyPem() const {
    return PrivateKeyPem(m_key.get());
}

std::string KeyedCertificate::PublicKeyPem() const {
    return gcemu::PublicKeyPem(m_key.get());
}

namespace {

KeyedCertificate MakeRoot(const std::string& commonName, int validDays) {
    EvpPkeyPtr key = GenerateRsaKey(2048);
    X509Ptr cert = NewCertificate(key.get(), commonName, nullptr, validDays);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
    AddExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), &ctx, NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash");
    AddExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always");
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) Fail("signing the CA certificate");
    return KeyedCertificate(std::move(cert), std::move(key));
}

}  // namespace

CertificateAuthority::CertificateAuthority(const std::string& commonName, int validDays)
    : m_root(MakeRoot(commonName, validDays)) {}

KeyedCertificate CertificateAuthority::IssueServerCertificate(const std::vector<std::string>& dnsNames,
                                                              const std::vector<std::string>& ipAddresses,
                                                              int validDays) const {
    if (dnsNames.empty() && ipAddresses.empty()) throw PkiError("a server certificate needs a name");
    EvpPkeyPtr key = GenerateRsaKey(2048);
    const std::string commonName = dnsNames.empty() ? ipAddresses.front() : dnsNames.front();
    X509Ptr cert =
        NewCertificate(key.get(), commonName, X509_get_subject_name(m_root.certificate()), validDays);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, m_root.certificate(), cert.get(), nullptr, nullptr, 0);
    AddExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(cert.get(), &ctx, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    AddExtension(cert.get(), &ctx, NID_ext_key_usage, "serverAuth");
    AddExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash");
    AddExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always");
    SetSubjectAltNames(cert.get(), dnsNames, ipAddresses);
    if (X509_sign(cert.get(), m_root.key(), EVP_sha256()) <= 0) Fail("signing the server certificate");
    return KeyedCertificate(std::move(cert), std::move(key));
}

EvpPkeyPtr GenerateRsaKey(int bits) {
    if (bits < 1024 || bits > 16384) throw PkiError("unsupported RSA key size " + std::to_string(bits));
    EvpPkeyPtr key(EVP_RSA_gen(static_cast<unsigned int>(bits)));
    if (!key) Fail("RSA key generation");
    return key;
}

std::string GenerateRsaKeyPem(int bits) {
    return PrivateKeyPem(GenerateRsaKey(bits).get());
}

EvpPkeyPtr ReadPrivateKeyPem(const std::string& pem) {
    BioPtr bio = ReadOnlyBio(pem);
    // An empty password callback: an encrypted key fails instead of prompting on the terminal.
    EvpPkeyPtr key(PEM_read_bio_PrivateKey(
        bio.get(), nullptr, [](char*, int, int, void*) { return 0; }, nullptr));
    if (!key) Fail("reading the private key");
    return key;
}

std::string PrivateKeyPem(EVP_PKEY* key) {
    BioPtr bio = NewMemoryBio();
    Check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr),
          "writing the private key");
    return BioText(bio.get());
}

std::string PublicKeyPem(EVP_PKEY* key) {
    BioPtr bio = NewMemoryBio();
    Check(PEM_write_bio_PUBKEY(bio.get(), key), "writing the public key");
    return BioText(bio.get());
}

std::string PublicKeyPemOf(const std::string& privateKeyPem) {
    return PublicKeyPem(ReadPrivateKeyPem(privateKeyPem).get());
}

std::string CertificatePem(X509* certificate) {
    BioPtr bio = NewMemoryBio();
    Check(PEM_write_bio_X509(bio.get(), certificate), "writing the certificate");
    return BioText(bio.get());
}

KeyedCertificate MakeSelfSignedCertificate(const std::string& privateKeyPem, const std::string& commonName,
                                           int validDays) {
    EvpPkeyPtr key = ReadPrivateKeyPem(privateKeyPem);
    X509Ptr cert = NewCertificate(key.get(), commonName, nullptr, validDays);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
    AddExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(cert.get(), &ctx, NID_key_usage, "critical,digitalSignature");
    AddExtension(cert.get(), &ctx, NID_ext_key_usage, "clientAuth");
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) Fail("signing the certificate");
    return KeyedCertificate(std::move(cert), std::move(key));
}

std::string MakePkcs12(const KeyedCertificate& keyed, const std::string& password,
                       Pkcs12Protection protection) {
    OSSL_LIB_CTX* context = Pkcs12Context();
    if (!context && protection == Pkcs12Protection::kLegacy)
        throw PkiError("OpenSSL legacy provider unavailable");
    const bool legacy = protection == Pkcs12Protection::kLegacy;
    const int keyCipher = legacy ? NID_pbe_WithSHA1And3_Key_TripleDES_CBC : NID_aes_256_cbc;
    const int certCipher = legacy ? NID_pbe_WithSHA1And40BitRC2_CBC : NID_aes_256_cbc;
    // The MAC is added below so that its digest can be chosen.
    std::unique_ptr<PKCS12, decltype(&PKCS12_free)> p12(
        PKCS12_create_ex(password.c_str(), "privatekey", keyed.key(), keyed.certificate(), nullptr, keyCipher,
                         certCipher, kPkcs12Iterations, -1, 0, context, nullptr),
        &PKCS12_free);
    if (!p12) Fail("making the PKCS#12 file");
    Check(PKCS12_set_mac(p12.get(), password.c_str(), -1, nullptr, 0, kPkcs12Iterations,
                         legacy ? EVP_sha1() : EVP_sha256()),
          "PKCS#12 MAC");
    unsigned char* der = nullptr;
    const int length = i2d_PKCS12(p12.get(), &der);
    if (length <= 0) Fail("encoding the PKCS#12 file");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

}  // namespace gcemu
