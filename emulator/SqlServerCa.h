// The server CA certificate Cloud SQL instances report (serverCaCert): a real self-signed certificate,
// made once per process on first use, so that a client may parse what it is given. Every instance shows
// this one (Google gives each instance its own).
#pragma once

#include <string>

#include "host/json/JsonValue.h"

namespace gcemu {

struct SqlServerCa {
    std::string pem;
    std::string sha1Fingerprint;  // lower-case hex of the DER's SHA-1
    std::string createTime;       // RFC 3339, the certificate's validity
    std::string expirationTime;
};

// Throws PkiError when OpenSSL cannot make it.
const SqlServerCa& TheSqlServerCa();

// The sql#sslCert an instance reports as its serverCaCert.
json_spirit::mObject ServerCaCertResource(const std::string& instance);

}  // namespace gcemu
