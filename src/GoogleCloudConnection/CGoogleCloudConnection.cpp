// Sending requests: URL composition, headers, one resend after a 401, logging of the exchange.
#include "GoogleCloudConnection/CGoogleCloudConnection.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <fstream>

#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudConnection/Redaction.h"
#include "GoogleCloudConnection/RetryPolicy.h"
#include "GoogleCloudConnection/UrlComposition.h"
#include "GoogleCloudErrorHandler/GoogleErrorBody.h"
#include "host/HostClock.h"
#include "host/JtString.h"
#include "host/Settings.h"
#include "host/XwSleep.h"
#include "host/ZKLibCurl.h"
#include "host/ZkJson.h"

namespace GoogleCloudSDKWrapper {

namespace {

const char kDefaultContentType[] = "Content-Type: application/x-www-form-urlencoded";
const char kJsonContentType[] = "Content-Type: application/json";

// A folder opens for reading too, and would then be taken for the key file.
bool CanOpenForReading(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::ifstream file(path);
    return file.good();
}

}  // namespace

CGoogleCloudConnection::CGoogleCloudConnection(ZkGoogleCloudErrorState* state)
    : CGoogleCloudErrorHandler(state), httpClient(new ZKLibCurl), logger(nullptr) {}

// The HTTP client goes first: its handle may still refer to settings the other members hold.
CGoogleCloudConnection::~CGoogleCloudConnection() {
    httpClient.reset();
}

bool CGoogleCloudConnection::get(const std::string& projectId, const std::string& path,
                                 std::string& response) {
    return sendReq(projectId, kGet, path, std::string(), response);
}

bool CGoogleCloudConnection::post(const std::string& projectId, const std::string& path,
                                  const std::string& body, std::string& response) {
    return sendReq(projectId, kPost, path, body, response);
}

bool CGoogleCloudConnection::put(const std::string& projectId, const std::string& path,
                                 const std::string& body, std::string& response) {
    return sendReq(projectId, kPut, path, body, response);
}

bool CGoogleCloudConnection::patch(const std::string& projectId, const std::string& path,
                                   const std::string& body, std::string& response) {
    return sendReq(projectId, kPatch, path, body, response);
}

bool CGoogleCloudConnection::del(const std::string& projectId, const std::string& path,
                                 const std::string& body, std::string& response) {
    return sendReq(projectId, kDelete, path, body, response);
}

bool CGoogleCloudConnection::InitCurl() {
    if (curlInitialized) return true;
    if (!httpClient->ZKLibCurlInit(kDefaultContentType, true, true, nullptr)) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to Initialize Curl Library");
        return false;
    }
    if (!httpClient->ZKLibCurlSetAdditionalOptionsIntValue(CURLOPT_NOSIGNAL, 1)) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to set curl option:[CURLOPT_NOSIGNAL]");
        return false;
    }
    retryAttempts = host::settings::Read(host::settings::kHttpRetryAttempts);
    retryMaxDelaySecs = host::settings::Read(host::settings::kHttpRetryMaxDelay);
    curlInitialized = true;
    return true;
}

bool CGoogleCloudConnection::Connect(const std::string& keyFileName, const std::string& email,
                                     const std::string& keyOrPasswordText) {
    if (!InitCurl()) {
        SetErrorMessage("The HTTP client could not be initialised.");
        SetErrorCode("INTERNAL");
        return false;
    }
    std::string missingKeyFile;
    if (!keyFileName.empty()) {
        keyFilePath = GetAbsolutePathforKey(keyFileName);
        if (keyFilePath.empty()) missingKeyFile = GetErrorMessage();
    }
    clientEmail = email;
    keyOrPassword = keyOrPasswordText;
    accessToken.clear();
    if (GetAccessToken()) return true;
    // A key file found nowhere is the reason, not the signing with the password text that followed.
    if (!missingKeyFile.empty()) {
        SetErrorMessage(missingKeyFile);
        SetErrorCode("KEY_FILE_NOT_FOUND");
    }
    logger.Error(__PRETTY_FUNCTION__, "Connection Failed. Error while getting access token.");
    return false;
}

std::string CGoogleCloudConnection::GetAbsolutePathforKey(const std::string& keyFileName) {
    std::string candidate =
        host::settings::Read(host::settings::kBaseHome) + "/certificates/external/" + keyFileName;
    if (CanOpenForReading(candidate)) return candidate;
    if (CanOpenForReading(keyFileName)) return keyFileName;
    std::string message = JtString::Format("File [%s] not found on proxy.", candidate.c_str());
    SetErrorMessage(message);
    logger.Error(__PRETTY_FUNCTION__, "%s", message.c_str());
    return std::string();
}

bool CGoogleCloudConnection::sendReq(const std::string& projectId, int requestType, const std::string& path,
                                     const std::string& body, std::string& response) {
    // A token is used up to and including its expiry second.
    if (!fetchingToken && (accessToken.empty() || host::Now() > tokenExpiry)) {
        logger.Debug(__PRETTY_FUNCTION__, "Refreshing access token.");
        if (!RefreshAccessToken()) return false;
    }
    if (SendWithRetries(projectId, requestType, path, body, response)) return true;
    // One renewal and one resend, and only for the server's token refusal.
    if (IsAccessTokenExpired() && RefreshAccessToken())
        return SendWithRetries(projectId, requestType, path, body, response);
    return false;
}

// A read that failed for a passing reason (a 503, a reset) is sent again after a pause; anything else
// ends at the first answer, which the caller then sees as it came.
bool CGoogleCloudConnection::SendWithRetries(const std::string& projectId, int requestType,
                                             const std::string& path, const std::string& body,
                                             std::string& response) {
    TransientRetryPolicy retries(requestType == kGet && !fetchingToken, retryAttempts);
    ExponentialBackoff backoff(1, retryMaxDelaySecs);
    for (uint32_t attempt = 1;; ++attempt) {
        if (_sendReqFull(projectId, requestType, path, body, response)) return true;
        const int64_t status = httpClient->GetHttpErrorCode();
        if (!exchanged || !retries.OnFailure(status)) return false;
        const uint64_t delayMs =
            backoff.NextDelayMs(httpClient->GetHttpResponseHeader("Retry-After"), host::Now());
        logger.Debug(__PRETTY_FUNCTION__, "Retry %u of %u for [%s] after [%s], in %llu ms", attempt,
                     retryAttempts, path.c_str(), status ? std::to_string(status).c_str() : "no answer",
                     static_cast<unsigned long long>(delayMs));
        XWSLEEP_InTeRnAl(static_cast<unsigned int>(delayMs), __FILE__, __LINE__);
    }
}

bool CGoogleCloudConnection::_sendReqFull(const std::string& projectId, int requestType,
                                          const std::string& path, const std::string& body,
                                          std::string& response) {
    if (!curlInitialized) {
        exchanged = false;
        logger.Debug(__PRETTY_FUNCTION__, "Error:Connect module has to be called before making any queries.");
        return false;
    }
    exchanged = false;
    std::string url;
    if (!computeUrl(projectId, path, url)) return false;
    if (!setCurlHeaders()) return false;

    exchanged = true;
    bool sent =
        httpClient->ZKLibCurlSendHttpReq(requestType, url.c_str(), body.data(), body.size(), false, nullptr);
    size_t length = 0;
    const char* text = httpClient->GetHttpResponse(length, false);
    if (text)
        response.assign(text, length);
    else
        response.clear();
    // The token answer has a reader of its own (INVALID_TOKEN_RESPONSE).
    if (sent && (fetchingToken || !AnswerIsUnreadable(url, response))) {
        LogResponse(url, response, 2);
        return true;
    }
    if (sent) {
        LogResponse(url, response, 0);
        return false;
    }
    logger.Error(__PRETTY_FUNCTION__, "Error: API failed. operation [%d]. URL[%s]. Request [%s]", requestType,
                 url.c_str(), RedactCredentials(body).c_str());
    RecordFailedExchange(requestType, url, response);
    LogResponse(url, response, 0);
    return false;
}

// Every API answers JSON, except Cloud Storage's XML API, through which objects are read as they are
// stored, and a 204. A 2xx answer that is not JSON (cut short by a proxy, an HTML page, nothing at all)
// would otherwise reach the readers as a success they cannot read, with no error to show.
bool CGoogleCloudConnection::AnswerIsUnreadable(const std::string& url, const std::string& response) {
    const int64_t status = httpClient->GetHttpErrorCode();
    if (status == 204) return false;
    // A small answer is checked first: most are JSON, and then the Storage host (a settings read, a
    // system call) is not needed. A large one may be an object, which is not read through twice.
    constexpr size_t kSmallAnswer = 64 * 1024;
    std::string why = "it is empty";
    const bool small = response.size() <= kSmallAnswer;
    if (small && !response.empty() && ZkJson::IsJsonText(response, why)) return false;
    const std::string storageXmlApi = "https://" + endpoints::StorageHost() + "/";
    const bool objectRead = url.compare(0, storageXmlApi.size(), storageXmlApi) == 0 &&
                            url.compare(storageXmlApi.size(), 8, "storage/") != 0 &&
                            url.compare(storageXmlApi.size(), 7, "upload/") != 0;
    if (objectRead || (!small && ZkJson::IsJsonText(response, why))) return false;
    const std::string message = JtString::Format("The answer from [%s] (HTTP %lld) is not JSON: %s.",
                                                 url.c_str(), static_cast<long long>(status), why.c_str());
    logger.Error(__PRETTY_FUNCTION__, "%s", message.c_str());
    SetErrorMessage(message);
    SetErrorCode("INVALID_RESPONSE");
    return true;
}

// What failed: the HTTP status as the code and, when the body is a Google error, Google's own words;
// else the status line or the transport error. Callers may decode the body over it; a body that is not
// a Google error (a proxy's page) or no body at all would otherwise leave an unrelated earlier error in
// place, and a stale "404" would make a failed read look like a missing resource.
void CGoogleCloudConnection::RecordFailedExchange(int requestType, const std::string& url,
                                                  const std::string& response) {
    std::string message, code;
    const int64_t status = httpClient->GetHttpErrorCode();
    if (status == 0) {
        message = JtString::Format("Request to [%s] failed: %s", url.c_str(),
                                   httpClient->GetLastTransportError().c_str());
        code = "UNAVAILABLE";
    } else {
        code = std::to_string(status);
        const GoogleErrorBody decoded = ReadGoogleErrorBody(response);
        if (decoded.kind != GoogleErrorBody::Kind::kNone) {
            message = decoded.message;
        } else {
            std::string statusLine = httpClient->GetHttpResponseHeader("HTTP");
            while (!statusLine.empty() && (statusLine.back() == '\r' || statusLine.back() == '\n'))
                statusLine.pop_back();
            message = JtString::Format("Request to [%s] failed: %s", url.c_str(), statusLine.c_str());
        }
    }
    SetErrorMessage(message);
    SetErrorCode(code);
    // One line per failed exchange, so that a caller listing many places can tell which of them failed.
    logger.Debug(__PRETTY_FUNCTION__, "Request failed: method [%s] code [%s] url [%s] message [%s]",
                 ZKLibCurl::MethodName(requestType) ? ZKLibCurl::MethodName(requestType) : "?", code.c_str(),
                 url.c_str(), RedactCredentials(message).c_str());
}

bool CGoogleCloudConnection::computeUrl(const std::string& projectId, const std::string& path,
                                        std::string& url) {
    if (JtString::CompareLeftNoCase(path, "https://") == 0) {
        // A link from a response (an operation's selfLink, say) goes only to an API host: the bearer token
        // goes with it.
        const std::string authority = path.substr(8, path.find_first_of("/?#", 8) - 8);
        if (!endpoints::IsApiHost(authority)) {
            const std::string message =
                JtString::Format("Refused to send a request to [%s]: [%s] is not one of the API hosts.",
                                 path.c_str(), authority.c_str());
            logger.Error(__PRETTY_FUNCTION__, "%s", message.c_str());
            SetErrorMessage(message);
            SetErrorCode("FORBIDDEN_HOST");
            return false;
        }
        url = path;
        return true;
    }
    if (projectId.empty()) {
        logger.Debug(__PRETTY_FUNCTION__, "Failed to compute Url. Project Id not found");
        return false;
    }
    url = "https://" + endpoints::ComputeHost() + "/compute/v1/projects" + "/" + url::Segment(projectId) +
          "/" + path;
    logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Computed URL [%s]", url.c_str());
    return true;
}

bool CGoogleCloudConnection::setCurlHeaders() {
    httpClient->ZKLibCurlFreeHttpHeaderList();
    // The token request goes with the default form content type and no bearer.
    if (fetchingToken) return true;
    std::string authorization = "Authorization: Bearer " + accessToken;
    if (!httpClient->ZKLibCurlAppendHeader(ZKLibCurl::HEADER_REQUEST, authorization.c_str()) ||
        !httpClient->ZKLibCurlAppendHeader(ZKLibCurl::HEADER_REQUEST, kJsonContentType)) {
        logger.Error(__PRETTY_FUNCTION__, "Failed to set CURL Accept authentication header");
        return false;
    }
    return true;
}

void CGoogleCloudConnection::LogResponse(const std::string& url, const std::string& response, int level) {
    if (!host::LogWanted(level)) return;
    logger.DebugLvl(__PRETTY_FUNCTION__, level, "Response from [%s]:\n%s ", url.c_str(),
                    RedactCredentials(response).c_str());
}

}  // namespace GoogleCloudSDKWrapper
