// Sending requests: URL composition, headers, one resend after a 401, logging of the exchange.
#include "GoogleCloudConnection/CGoogleCloudConnection.h"

#include <curl/curl.h>

#include <fstream>

#include "GoogleCloudConnection/Endpoints.h"
#include "GoogleCloudConnection/Redaction.h"
#include "GoogleCloudConnection/UrlComposition.h"
#include "host/HostClock.h"
#include "host/JtString.h"
#include "host/Settings.h"
#include "host/ZKLibCurl.h"

namespace GoogleCloudSDKWrapper {

namespace {

const char kDefaultContentType[] = "Content-Type: application/x-www-form-urlencoded";
const char kJsonContentType[] = "Content-Type: application/json";

bool CanOpenForReading(const std::string& path) {
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
    curlInitialized = true;
    return true;
}

bool CGoogleCloudConnection::Connect(const std::string& keyFileName, const std::string& email,
                                     const std::string& keyOrPasswordText) {
    if (!InitCurl()) return false;
    if (!keyFileName.empty()) keyFilePath = GetAbsolutePathforKey(keyFileName);
    clientEmail = email;
    keyOrPassword = keyOrPasswordText;
    accessToken.clear();
    if (GetAccessToken()) return true;
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
    if (_sendReqFull(projectId, requestType, path, body, response)) return true;
    // One renewal and one resend, and only for the server's token refusal.
    if (IsAccessTokenExpired() && RefreshAccessToken())
        return _sendReqFull(projectId, requestType, path, body, response);
    return false;
}

bool CGoogleCloudConnection::_sendReqFull(const std::string& projectId, int requestType,
                                          const std::string& path, const std::string& body,
                                          std::string& response) {
    if (!curlInitialized) {
        logger.Debug(__PRETTY_FUNCTION__, "Error:Connect module has to be called before making any queries.");
        return false;
    }
    std::string url;
    if (!computeUrl(projectId, path, url)) return false;
    if (!setCurlHeaders()) return false;

    bool sent =
        httpClient->ZKLibCurlSendHttpReq(requestType, url.c_str(), body.data(), body.size(), false, nullptr);
    size_t length = 0;
    const char* text = httpClient->GetHttpResponse(length, false);
    if (text)
        response.assign(text, length);
    else
        response.clear();
    if (sent) {
        LogResponse(url, response, 2);
        return true;
    }
    logger.Error(__PRETTY_FUNCTION__, "Error: API failed. operation [%d]. URL[%s]. Request [%s]", requestType,
                 url.c_str(), RedactCredentials(body).c_str());
    RecordFailedExchange(url);
    LogResponse(url, response, 0);
    return false;
}

// What failed, as the HTTP status or the transport error. Callers then decode a Google error body over
// it; a body that is not one (a proxy's page) or no body at all would otherwise leave an unrelated
// earlier error in place, and a stale "404" would make a failed read look like a missing resource.
void CGoogleCloudConnection::RecordFailedExchange(const std::string& url) {
    int64_t status = httpClient->GetHttpErrorCode();
    if (status == 0) {
        SetErrorMessage(JtString::Format("Request to [%s] failed: %s", url.c_str(),
                                         httpClient->GetLastTransportError().c_str()));
        SetErrorCode("UNAVAILABLE");
        return;
    }
    std::string statusLine = httpClient->GetHttpResponseHeader("HTTP");
    while (!statusLine.empty() && (statusLine.back() == '\r' || statusLine.back() == '\n'))
        statusLine.pop_back();
    SetErrorMessage(JtString::Format("Request to [%s] failed: %s", url.c_str(), statusLine.c_str()));
    SetErrorCode(std::to_string(status));
}

bool CGoogleCloudConnection::computeUrl(const std::string& projectId, const std::string& path,
                                        std::string& url) {
    if (JtString::CompareLeftNoCase(path, "https://") == 0) {
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
