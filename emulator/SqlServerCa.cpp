#include "emulator/SqlServerCa.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>
#include <ctime>
#include <mutex>

#include "emulator/CertificateAuthority.h"

namespace gcemu {
namespace {

constexpr int kValidDays = 3650;

void Require(bool ok, const char* what) {
    if (!ok) throw PkiError(std::string("cannot make the Cloud SQL server CA: ") + what);
}

std::string Rfc3339(const ASN1_TIME* time) {
    struct tm parts {};
    Require(ASN1_TIME_to_tm(time, &parts) == 1, "its validity");
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &parts);
    return text;
}

SqlServerCa Make() {
    EvpPkeyPtr key = GenerateRsaKey(2048);
    X509Ptr cert(X509_new());
    Require(cert != nullptr, "no certificate");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 0);  // Cloud SQL's CAs have serial 0
    X509_NAME* name = X509_get_subject_name(cert.get());
    const auto add = [name](const char* field, const char* value) {
        Require(X509_NAME_add_entry_by_txt(name, field, MBSTRING_ASC,
                                           reinterpret_cast<const unsigned char*>(value), -1, -1, 0) == 1,
                field);
    };
    add("C", "US");
    add("O", "Google, Inc");
    add("CN", "Google Cloud SQL Server CA");
    Require(X509_set_issuer_name(cert.get(), name) == 1, "its issuer");
    Require(X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr, "its start");
    Require(X509_gmtime_adj(X509_getm_notAfter(cert.get()), 60L * 60 * 24 * kValidDays) != nullptr,
            "its end");
    Require(X509_set_pubkey(cert.get(), key.get()) == 1, "its key");
    Require(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "its signature");

    SqlServerCa ca;
    ca.pem = CertificatePem(cert.get());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    Require(X509_digest(cert.get(), EVP_sha1(), digest, &length) == 1, "its fingerprint");
    for (unsigned int i = 0; i < length; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        ca.sha1Fingerprint += hex;
    }
    ca.createTime = Rfc3339(X509_get0_notBefore(cert.get()));
    ca.expirationTime = Rfc3339(X509_get0_notAfter(cert.get()));
    return ca;
}

}  // namespace

const SqlServerCa& TheSqlServerCa() {
    static std::once_flag once;
    static SqlServerCa ca;
    std::call_once(once, [] { ca = Make(); });
    return ca;
}

json_spirit::mObject ServerCaCertResource(const std::string& instance) {
    const SqlServerCa& ca = TheSqlServerCa();
    json_spirit::mObject cert;
    cert["kind"] = "sql#sslCert";
    cert["certSerialNumber"] = "0";
    cert["cert"] = ca.pem;
    cert["commonName"] = "C=US,O=Google\\, Inc,CN=Google Cloud SQL Server CA";
    cert["sha1Fingerprint"] = ca.sha1Fingerprint;
    cert["instance"] = instance;
    cert["createTime"] = ca.createTime;
    cert["expirationTime"] = ca.expirationTime;
    return cert;
}

}  // namespace gcemu
