#include "GoogleCloudErrorHandler/GoogleErrorBody.h"

#include <tinyxml2.h>

#include <stdexcept>

#include "host/ZkJson.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string TextOf(const tinyxml2::XMLElement* element) {
    const char* text = element ? element->GetText() : nullptr;
    return text ? text : "";
}

}  // namespace

bool ReadXmlErrorBody(const std::string& body, GoogleErrorBody& error) {
    // Cheap refusal of the JSON and empty bodies that make up nearly every call.
    const size_t start = body.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || body[start] != '<') return false;
    tinyxml2::XMLDocument document;
    if (document.Parse(body.data(), body.size()) != tinyxml2::XML_SUCCESS) return false;
    const tinyxml2::XMLElement* root = document.RootElement();
    if (!root || std::string(root->Name()) != "Error") return false;
    const std::string message = TextOf(root->FirstChildElement("Message"));
    if (message.empty()) return false;
    error.kind = GoogleErrorBody::Kind::kXml;
    error.message = message;
    error.code = TextOf(root->FirstChildElement("Code"));
    return true;
}

GoogleErrorBody ReadGoogleErrorBody(const std::string& body) {
    GoogleErrorBody error;
    if (ReadXmlErrorBody(body, error)) return error;
    try {
        json_spirit::mObject response;
        if (!ZkJson::Unserialize(body, response)) return error;
        const auto found = response.find("error");
        if (found == response.end()) return error;
        // An OAuth refusal names its error; an empty name would leave a failed sign-in without a code.
        if (found->second.type() == json_spirit::str_type && !found->second.get_str().empty()) {
            const std::string description = ZkJson::GetStringValue(response, "error_description");
            error.kind = GoogleErrorBody::Kind::kOAuth;
            error.code = found->second.get_str();
            error.message = description.empty() ? error.code : description;
            return error;
        }
        if (found->second.type() != json_spirit::obj_type) return error;
        const json_spirit::mObject& details = found->second.get_obj();
        const std::string message = ZkJson::GetStringValue(details, "message");
        if (message.empty()) return error;
        error.kind = GoogleErrorBody::Kind::kJson;
        error.message = message;
        error.code = std::to_string(ZkJson::GetIntValue(details, "code"));
    } catch (const std::runtime_error&) {
        error = GoogleErrorBody();
    }
    return error;
}

}  // namespace GoogleCloudSDKWrapper
