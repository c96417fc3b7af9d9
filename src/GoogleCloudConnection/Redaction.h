// Bearer credentials never reach a log: the texts the transport logs pass through here first.
#pragma once

#include <string>

namespace GoogleCloudSDKWrapper {

// The text with the values of credential members replaced by "[REDACTED]": in JSON, the string
// values of "access_token", "refresh_token", "id_token", "private_key", "client_secret", "assertion",
// the disk keys "rawKey" and "rsaEncryptedKey", and a Cloud SQL replica's "password" and "clientKey";
// in a form body, the "assertion" field. Everything else is kept as it was, except that JSON with such
// a member name written with escapes comes back written again (compact, members in name order).
std::string RedactCredentials(const std::string& text);

}  // namespace GoogleCloudSDKWrapper
