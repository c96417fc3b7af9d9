// The one reader of the error bodies Google's APIs answer with: the JSON APIs'
// {"error":{"code":404,"message":"..."}}, the token endpoint's {"error":"invalid_grant",
// "error_description":"..."}, and Cloud Storage's XML API <Error><Code>NoSuchKey</Code><Message>...
#pragma once

#include <string>

namespace GoogleCloudSDKWrapper {

struct GoogleErrorBody {
    enum class Kind { kNone, kJson, kOAuth, kXml };
    Kind kind = Kind::kNone;
    std::string message;
    std::string code;  // the JSON "code" as decimal text, the OAuth "error", or the XML <Code>
};

// What the body says, when it is one of the shapes above and names a message; kind kNone otherwise.
GoogleErrorBody ReadGoogleErrorBody(const std::string& body);

// The XML API's error document alone: false when the text is not one.
bool ReadXmlErrorBody(const std::string& body, GoogleErrorBody& error);

}  // namespace GoogleCloudSDKWrapper
