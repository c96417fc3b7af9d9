// The token endpoint's answer, any body: read as a sign-in reads it, decoded as a refused sign-in is,
// and redacted as the log gets it. The redacted text holds no credential.
#include <cstddef>
#include <cstdint>
#include <string>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudConnection/Redaction.h"
#include "fuzz/FuzzSupport.h"
#include "host/ZkJson.h"

using namespace GoogleCloudSDKWrapper;

namespace {

const char kRedacted[] = "[REDACTED]";
const char* const kSecretMembers[] = {"access_token",  "refresh_token", "id_token", "private_key",
                                      "client_secret", "assertion",     "rawKey",   "rsaEncryptedKey",
                                      "password",      "clientKey"};

bool IsSecret(const std::string& name) {
    for (const char* secret : kSecretMembers)
        if (name == secret) return true;
    return false;
}

// No member of a secret's name, at any depth, holds a string other than the redaction mark.
bool NoSecretLeft(const json_spirit::mValue& value) {
    if (value.type() == json_spirit::array_type) {
        for (const auto& element : value.get_array())
            if (!NoSecretLeft(element)) return false;
    } else if (value.type() == json_spirit::obj_type) {
        for (const auto& [name, member] : value.get_obj()) {
            if (IsSecret(name) && member.type() == json_spirit::str_type && member.get_str() != kRedacted)
                return false;
            if (!NoSecretLeft(member)) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string answer = fuzzsupport::Text(data, size);

    std::string token;
    int64_t lifetimeSecs = 0;
    const bool signedIn = CGoogleCloudConnection::ReadTokenAnswer(answer, token, lifetimeSecs);
    json_spirit::mObject reply;
    const bool isObject = ZkJson::Unserialize(answer, reply);
    FUZZ_CHECK(signedIn == (isObject && !ZkJson::GetStringValue(reply, "access_token").empty()));
    if (signedIn) FUZZ_CHECK(token == ZkJson::GetStringValue(reply, "access_token"));

    // A refused sign-in: the transport recorded the status, the body refines it.
    ZkGoogleCloudErrorState state;
    state.errorCode = "400";
    CGoogleCloudErrorHandler(&state).SetLastErrorFromResponse(answer);
    FUZZ_CHECK(!state.errorCode.empty());

    json_spirit::mValue logged;
    if (ZkJson::Unserialize(RedactCredentials(answer), logged)) FUZZ_CHECK(NoSecretLeft(logged));
    return 0;
}
