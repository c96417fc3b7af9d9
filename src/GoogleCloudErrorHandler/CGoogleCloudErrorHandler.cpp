#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"

#include <cstdio>
#include <stdexcept>

#include "GoogleCloudErrorHandler/GoogleErrorBody.h"
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
    const GoogleErrorBody decoded = ReadGoogleErrorBody(body);
    switch (decoded.kind) {
        case GoogleErrorBody::Kind::kXml:
            // Its code is a word ("NoSuchKey"); the HTTP status the transport recorded stays the code.
            errorState->errorMessage = decoded.message;
            return;
        case GoogleErrorBody::Kind::kOAuth:
            // The token endpoint's refusal: the reason for a failed sign-in would otherwise be lost.
            errorState->errorMessage = decoded.message;
            errorState->errorCode = decoded.code;
            return;
        case GoogleErrorBody::Kind::kJson:
        case GoogleErrorBody::Kind::kNone:
            break;
    }
    try {
        json_spirit::mObject response;
        if (!ZkJson::Unserialize(body, response)) {
            errorState->errorMessage = body;
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
