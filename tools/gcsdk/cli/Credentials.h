// Which service-account key to sign in with: --key-file (a Google JSON key), --p12 with --email and
// --password (or GCSDK_P12_PASSWORD), or the JSON key named by GCSDK_KEY_FILE. The secret is never part of
// any message.
#pragma once

#include <string>

#include "cli/Arguments.h"

namespace gcsdk {

struct Credentials {
    // As Connect takes them: empty for a JSON key; the PKCS#12 file otherwise.
    std::string keyFileName;
    std::string email;
    std::string secret;  // PEM private key (JSON key) or the PKCS#12 password
    std::string source;  // where they came from, for messages: "key file /x.json"
};

struct CredentialsOutcome {
    enum class Status { kOk, kUsage, kFailure };
    Status status = Status::kOk;
    std::string error;
};

// envKeyFile: the value of GCSDK_KEY_FILE, envP12Password that of GCSDK_P12_PASSWORD (null or empty when
// unset); --password wins over the variable, which keeps the password out of the process list.
CredentialsOutcome ResolveCredentials(const ParsedArguments& args, const char* envKeyFile, Credentials& out,
                                      const char* envP12Password = nullptr);

// client_email and private_key of a Google JSON service-account key; false with the reason otherwise.
bool ParseJsonKey(const std::string& text, std::string& email, std::string& privateKey, std::string& error);

}  // namespace gcsdk
