// Service-account sign-in: a JWT signed RS256 with the account's key (PEM text or a PKCS#12 file),
// exchanged at the OAuth2 token endpoint for an access token that is kept until it expires.
#include <string>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudConnection/Endpoints.h"
#include "host/HostClock.h"
#include "host/ZKLibCurl.h"
#include "host/ZkCrypto.h"
#include "host/ZkJson.h"

namespace GoogleCloudSDKWrapper {

namespace {

const char kUrlAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
const char kJwtHeader[] = "{\"alg\":\"RS256\",\"typ\":\"JWT\"}";
const char kGrantPrefix[] = "grant_type=urn%3Aietf%3Aparams%3Aoauth%3Agrant-type%3Ajwt-bearer&assertion=";
const int64_t kTokenLifetimeSecs = 3600;
const char kUnauthorizedStatusLine[] = "HTTP/1.1 401 Unauthorized\r\n";
// Error codes of a sign-in that failed before anything was sent.
const char kInvalidPrivateKeyCode[] = "INVALID_PRIVATE_KEY";
const char kInvalidKeyFileCode[] = "INVALID_KEY_FILE";

std::string Base64Url(const std::string& bytes) {
    return CGoogleCloudConnection::Base64URLEncode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                   bytes.size());
}

// The text as a JSON string body, without the quotes: an address with a quote or a backslash must
// not break the claim set.
std::string JsonEscaped(const std::string& text) {
    std::string quoted = ZkJson::Serialize(json_spirit::mValue(text));
    return quoted.size() >= 2 ? quoted.substr(1, quoted.size() - 2) : std::string();
}

}  // namespace

bool CGoogleCloudConnection::GetAccessToken() {
    const int64_t issuedAt = host::Now();
    const int64_t expiresAt = issuedAt + kTokenLifetimeSecs;
    const std::string tokenUrl = endpoints::TokenEndpointUrl();

    std::string claimSet = "{\"iss\":\"" + JsonEscaped(clientEmail) + "\"," + "\"scope\":\"" +
                           endpoints::CloudPlatformScope() + "\"," + "\"aud\":\"" + tokenUrl + "\"," +
                           "\"exp\":" + std::to_string(expiresAt) + "," +
                           "\"iat\":" + std::to_string(issuedAt) + "}";
    std::string signingInput = Base64Url(kJwtHeader) + "." + Base64Url(claimSet);

    std::string signature;
    if (keyFilePath.empty()) {
        if (!SignWithRSA_SHA256(keyOrPassword, signingInput, std::string(), signature)) {
            logger.Error(__PRETTY_FUNCTION__, "Failed to get signature from given private key");
            return false;
        }
        logger.Debug(__PRETTY_FUNCTION__, "Connecting using JSON Credential File");
    } else {
        unsigned char buffer[ZKLibCurl::kMaxSignatureBytes];
        unsigned int length = 0;
        if (!httpClient->SignSHA256withRSA(keyFilePath.c_str(), signingInput, keyOrPassword.c_str(), buffer,
                                           length)) {
            logger.Error(__PRETTY_FUNCTION__, "Failed to get signature from p12 file");
            // A failed sign-in must say why to the caller too, not only to the log.
            SetErrorMessage("Cannot sign in with the PKCS#12 key file: " + httpClient->GetLastSignError() +
                            ".");
            SetErrorCode(kInvalidKeyFileCode);
            return false;
        }
        signature.assign(reinterpret_cast<const char*>(buffer), length);
        logger.Debug(__PRETTY_FUNCTION__, "Connecting using P12 Credential File");
    }

    std::string body = kGrantPrefix + signingInput + "." + Base64Url(signature);
    std::string response;
    fetchingToken = true;
    bool posted = post(std::string(), tokenUrl, body, response);
    fetchingToken = false;
    if (!posted) {
        SetLastErrorFromResponse(response);
        return false;
    }

    // A reply without a token must not count as a sign-in: every later request would go out with an
    // empty bearer.
    std::string token;
    int64_t lifetimeSecs = 0;
    if (!ReadTokenAnswer(response, token, lifetimeSecs)) {
        SetErrorMessage("The token endpoint answered without an access token.");
        SetErrorCode("INVALID_TOKEN_RESPONSE");
        logger.Error(__PRETTY_FUNCTION__, "The token endpoint answered without an access token.");
        return false;
    }
    accessToken = token;
    tokenExpiry = host::Now() + lifetimeSecs;
    return true;
}

bool CGoogleCloudConnection::ReadTokenAnswer(const std::string& answer, std::string& token,
                                             int64_t& lifetimeSecs) {
    json_spirit::mObject reply;
    if (!ZkJson::Unserialize(answer, reply)) return false;
    token = ZkJson::GetStringValue(reply, "access_token");
    lifetimeSecs = ZkJson::GetIntValue(reply, "expires_in");
    return !token.empty();
}

bool CGoogleCloudConnection::RefreshAccessToken() {
    if (GetAccessToken()) return true;
    logger.Error(__PRETTY_FUNCTION__, "Access token expired! Failed to refresh access token.");
    return false;
}

bool CGoogleCloudConnection::IsAccessTokenExpired() {
    return !fetchingToken && httpClient->GetHttpErrorCode() == 401 &&
           httpClient->GetHttpResponseHeader("HTTP") == kUnauthorizedStatusLine;
}

bool CGoogleCloudConnection::SignWithRSA_SHA256(const std::string& privateKey, const std::string& data,
                                                const std::string& password, std::string& signature) {
    std::string digest;
    if (!DigestWithSHA256(data, digest)) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to calculate SHA256 digest");
        return false;
    }
    std::string signedBytes;
    if (!SignDigestWithRSA(digest, privateKey, password, signedBytes)) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to sign SHA256 digest");
        return false;
    }
    signature = signedBytes;
    return true;
}

bool CGoogleCloudConnection::DigestWithSHA256(const std::string& data, std::string& digest) {
    try {
        ZkcSHA256 hasher;
        hasher.addData(data.data(), data.size());
        unsigned char bytes[ZkcSHA256::kDigestLength];
        hasher.finish(bytes, sizeof bytes);
        digest.assign(reinterpret_cast<const char*>(bytes), sizeof bytes);
        return true;
    } catch (const ZkException& failure) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to calculate disgest.");
        SetErrorMessage(std::string("Cannot sign in: ") + failure.what() + ".");
        SetErrorCode(kInvalidPrivateKeyCode);
        return false;
    }
}

bool CGoogleCloudConnection::SignDigestWithRSA(const std::string& digest, const std::string& privateKey,
                                               const std::string& password, std::string& signature) {
    try {
        ZkcRSA rsa;
        rsa.enablePadding(true);
        rsa.setPriKeyPEM(privateKey, password);
        ZkcBucket signedDigest =
            rsa.sign(reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
        signature.assign(reinterpret_cast<const char*>(signedDigest.getData()), signedDigest.getSize());
        return true;
    } catch (const ZkException& failure) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to sign the digest.");
        SetErrorMessage(std::string("Cannot sign in with the private key: ") + failure.what() + ".");
        SetErrorCode(kInvalidPrivateKeyCode);
        return false;
    }
}

std::string CGoogleCloudConnection::Base64URLEncode(const unsigned char* bytes, size_t count) {
    return Base64EncodeWithEncodeString(bytes, count, kUrlAlphabet);
}

// Standard Base64 over the given alphabet; the "=" padding is kept.
std::string CGoogleCloudConnection::Base64EncodeWithEncodeString(const unsigned char* bytes, size_t count,
                                                                 const std::string& alphabet) {
    std::string text;
    if (alphabet.size() < 64) return text;
    text.reserve((count + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        unsigned b0 = bytes[i], b1 = bytes[i + 1], b2 = bytes[i + 2];
        text += alphabet[b0 >> 2];
        text += alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        text += alphabet[((b1 & 15) << 2) | (b2 >> 6)];
        text += alphabet[b2 & 63];
    }
    if (count - i == 1) {
        unsigned b0 = bytes[i];
        text += alphabet[b0 >> 2];
        text += alphabet[(b0 & 3) << 4];
        text += "==";
    } else if (count - i == 2) {
        unsigned b0 = bytes[i], b1 = bytes[i + 1];
        text += alphabet[b0 >> 2];
        text += alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        text += alphabet[(b1 & 15) << 2];
        text += '=';
    }
    return text;
}

}  // namespace GoogleCloudSDKWrapper
