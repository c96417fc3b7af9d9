// Reads and writes the facade's last-error record; above all, decodes the body of a refused request.
#pragma once

#include <cstdint>
#include <string>

#include "GoogleCloudSDKWrapper/ZkGoogleCloudErrorState.h"

namespace GoogleCloudSDKWrapper {

class CGoogleCloudErrorHandler {
public:
    // The record is borrowed; with a null record every setter does nothing and every getter gives "".
    explicit CGoogleCloudErrorHandler(ZkGoogleCloudErrorState* state) : errorState(state) {}

    std::string GetErrorMessage() const;
    std::string GetErrorCode() const;
    void SetErrorMessage(const std::string& message);
    void SetErrorCode(const std::string& code);
    void SetHttpErrorMessage(const std::string& message);
    void SetHttpErrorCode(int32_t code);

    // Decodes a Google error body ({"error":{"code":404,"message":"..."}}) into message and code. An
    // OAuth refusal ({"error":"invalid_grant","error_description":"..."}) gives its description and
    // its error text as the code. Cloud Storage's XML error document gives its <Message> and leaves the
    // code (the HTTP status the transport recorded). Other text that is not JSON becomes the message and
    // leaves the code. An empty body changes nothing.
    void SetLastErrorFromResponse(const std::string& body);

protected:
    ZkGoogleCloudErrorState* errorState;
};

}  // namespace GoogleCloudSDKWrapper
