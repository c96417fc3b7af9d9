// The single door to the network: URL composition, the bearer token, sending through the host HTTP
// client, renewal of the token when it has expired or a request meets a 401.
//
// On true, the response holds the body of the successful reply (possibly empty). On false after an
// exchange, it holds the body the server returned with the error (empty when there was none), and the
// error state holds the HTTP status as the code (or "UNAVAILABLE" when no response came); the caller
// hands the body to SetLastErrorFromResponse, which refines both from a Google error body. On false before
// any exchange (not connected, URL not composable, headers not set, token renewal failed) the response is
// left as the caller passed it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "host/HbDebug.h"

class ZKLibCurl;

namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection : public CGoogleCloudErrorHandler {
public:
    // Request types as the host HTTP client numbers them.
    enum RequestType { kGet = 0, kPost = 1, kPut = 2, kDelete = 3, kPatch = 5 };

    explicit CGoogleCloudConnection(ZkGoogleCloudErrorState* state);
    ~CGoogleCloudConnection();
    CGoogleCloudConnection(const CGoogleCloudConnection&) = delete;
    CGoogleCloudConnection& operator=(const CGoogleCloudConnection&) = delete;

    // A path is relative to the project's Compute Engine base ("zones/z/instances") or a full URL
    // beginning with "https://" (any letter case), used as it is.
    bool get(const std::string& projectId, const std::string& path, std::string& response);
    bool post(const std::string& projectId, const std::string& path, const std::string& body,
              std::string& response);
    bool put(const std::string& projectId, const std::string& path, const std::string& body,
             std::string& response);
    bool patch(const std::string& projectId, const std::string& path, const std::string& body,
               std::string& response);
    bool del(const std::string& projectId, const std::string& path, const std::string& body,
             std::string& response);

    // Stores the credential and fetches the first token. keyFileName names a PKCS#12 file (then
    // keyOrPassword is its password); empty keeps the key file of an earlier call, if any, and
    // otherwise means keyOrPassword is the PEM private key of a JSON key file.
    bool Connect(const std::string& keyFileName, const std::string& clientEmail,
                 const std::string& keyOrPassword);
    bool InitCurl();
    // Looks for the key file under <dBASEHOME>/certificates/external/, then as given; empty if nowhere.
    std::string GetAbsolutePathforKey(const std::string& keyFileName);

    bool sendReq(const std::string& projectId, int requestType, const std::string& path,
                 const std::string& body, std::string& response);
    bool _sendReqFull(const std::string& projectId, int requestType, const std::string& path,
                      const std::string& body, std::string& response);
    bool computeUrl(const std::string& projectId, const std::string& path, std::string& url);
    bool setCurlHeaders();
    void LogResponse(const std::string& url, const std::string& response, int level);

    // Sign-in with the service-account key: a JWT signed RS256, exchanged for an access token.
    bool GetAccessToken();
    // The token endpoint's answer: its access token and lifetime in seconds ("expires_in"). False when
    // it is not a JSON object or holds no token.
    static bool ReadTokenAnswer(const std::string& answer, std::string& token, int64_t& lifetimeSecs);
    bool RefreshAccessToken();
    // The last reply was the token refusal "HTTP/1.1 401 Unauthorized" (outside a token request).
    bool IsAccessTokenExpired();
    bool SignWithRSA_SHA256(const std::string& privateKey, const std::string& data,
                            const std::string& password, std::string& signature);
    bool DigestWithSHA256(const std::string& data, std::string& digest);
    bool SignDigestWithRSA(const std::string& digest, const std::string& privateKey,
                           const std::string& password, std::string& signature);
    static std::string Base64URLEncode(const unsigned char* bytes, size_t count);
    static std::string Base64EncodeWithEncodeString(const unsigned char* bytes, size_t count,
                                                    const std::string& alphabet);

private:
    // _sendReqFull, sent again after a pause while a read fails for a passing reason.
    bool SendWithRetries(const std::string& projectId, int requestType, const std::string& path,
                         const std::string& body, std::string& response);
    // A 2xx answer that should be JSON and is not: recorded in the error state (INVALID_RESPONSE).
    bool AnswerIsUnreadable(const std::string& url, const std::string& response);
    // Records a failed exchange in the error state before the caller decodes its body.
    void RecordFailedExchange(int requestType, const std::string& url, const std::string& response);

    std::unique_ptr<ZKLibCurl> httpClient;  // the one HTTP client of this connection
    bool curlInitialized = false;
    HbDebug logger;
    std::string accessToken;
    int64_t tokenExpiry = 0;  // seconds since the epoch after which the token counts as expired
    bool fetchingToken = false;
    std::string clientEmail;
    std::string keyOrPassword;  // PEM private key (JSON credential) or key-file password (PKCS#12)
    std::string keyFilePath;    // resolved PKCS#12 key file; empty for a JSON credential
    // Transient-failure resends of reads, from the settings at InitCurl.
    uint32_t retryAttempts = 0;
    uint32_t retryMaxDelaySecs = 32;
    bool exchanged = false;  // the last _sendReqFull reached the HTTP client
};

}  // namespace GoogleCloudSDKWrapper
