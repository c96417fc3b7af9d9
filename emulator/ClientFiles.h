// Files the emulator writes for its clients: the settings file that points the library at it, and
// service-account keys in Google's formats (JSON key file and legacy PKCS#12).
#pragma once

#include <string>

namespace gcemu {

struct ServiceAccountKey {
    std::string email;
    std::string privateKeyPem;  // PKCS#8
    std::string privateKeyId;   // 40 hex digits, as in the JSON key's private_key_id
    std::string jsonKeyFile;
    std::string p12File;
    std::string p12Password;  // "notasecret", as Google's
};

// A new RSA-2048 key for the account, written to <dir>/<email>.json and <dir>/<email>.p12 (mode 0600).
// Throws std::runtime_error when a file cannot be written.
ServiceAccountKey WriteServiceAccountKey(const std::string& dir, const std::string& email);

// The key an earlier WriteServiceAccountKey left in the folder for the account; false when its JSON key
// file is not there or holds no private key (a PKCS#12 file that is missing is written again).
bool ReadServiceAccountKey(const std::string& dir, const std::string& email, ServiceAccountKey& key);

// The JSON key file's content for a key, as Google issues it.
std::string ServiceAccountJson(const std::string& email, const std::string& privateKeyPem,
                               const std::string& privateKeyId, const std::string& clientId);

// INI text with [GoogleCloud] sConnectTo=127.0.0.1:<port> and sCaBundle=<caFile>, with the extra INI
// text merged in (its keys win). Throws std::runtime_error when the extra text is not INI.
std::string ClientSettingsText(int port, const std::string& caFile, const std::string& extraIni);

// Writes the file (replacing it) with the given mode; throws std::runtime_error on failure.
void WriteFile(const std::string& path, const std::string& content, unsigned mode = 0644);

}  // namespace gcemu
