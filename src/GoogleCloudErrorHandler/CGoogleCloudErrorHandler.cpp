#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"

#include <cstdio>
#include <stdexcept>

#include "host/ZkJson.h"

namespace GoogleCloudSDKWrapper {

std::string CGoogleCloudErrorHandler::GetErrorMessage() const {
    return errorState ? errorState->errorMessage : "";
}

std::string CGoogleCloudErrorHandler::GetErrorCode() const {
    return errorState ? errorState->errorCode : "";
}

void CGoogleCloudErrorHandler::SetErrorMessage(const std::string& message) {
    if (errorState) errorState->errorMessage = message;
}

void CGoogleCloudErrorHandler::SetErrorCode(const std::string& code) {
    if (errorState) errorState->errorCode = code;
}

void CGoogleCloudErrorHandler::SetHttpErrorMessage(const std::string& message) {
    if (errorState) errorState->httpErrorMessage = message;
}

void CGoogleCloudErrorHandler::SetHttpErrorCode(int32_t code) {
    if (errorState) errorState->httpErrorCode = code;
}

void CGoogleCloudErrorHandler::SetLastErrorFromResponse(const std::string& body) {
    if (body.empty() || !errorState) return;
    try {
        json_spirit::mObject response;
        if (!ZkJson::Unserialize(body, response)) {
            errorState->errorMessage = body;
            return;
        }
        // The OAuth token endpoint refuses with a string "error" and an optional description; the
        // reason for a failed sign-in would otherwise be lost.
        auto oauthError = response.find("error");
        if (oauthError != response.end() && oauthError->second.type() == json_spirit::str_type) {
            std::string description = ZkJson::GetStringValue(response, "error_description");
            errorState->errorMessage = description.empty() ? oauthError->second.get_str() : description;
            errorState->errorCode = oauthError->second.get_str();
            return;
        }
        json_spirit::mObject error;
        ZkJson::FindObjectValue(response, "error", error);
        errorState->errorMessage = ZkJson::GetStringValue(error, "message");
        char code[16];
        std::snprintf(code, sizeof code, "%d", ZkJson::GetIntValue(error, "code"));
        errorState->errorCode = code;
    } catch (const std::runtime_error&) {
        errorState->errorMessage = body;
    }
}

}  // namespace GoogleCloudSDKWrapper
