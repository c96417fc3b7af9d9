// Instance operations: create (with the retries Compute Engine needs), delete, stop, start.
#include "GoogleCloudConnection/UrlComposition.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "host/JtString.h"
#include "host/XwSleep.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string InstancesIn(const std::string& zone) {
    return JtString::Format("%s/%s/%s", "zones", url::Segment(zone).c_str(), "instances");
}

// Whether the message names the address as a whole: 10.0.0.5 is not named by a message about 10.0.0.50.
// An empty address counts as named, so it stays empty.
bool NamesAddress(const std::string& message, const std::string& address) {
    if (address.empty()) return true;
    auto isAddressChar = [](char c) { return (c >= '0' && c <= '9') || c == '.'; };
    for (size_t at = message.find(address); at != std::string::npos; at = message.find(address, at + 1)) {
        size_t end = at + address.size();
        bool wholeBefore = at == 0 || !isAddressChar(message[at - 1]);
        // A period right after the address may end the sentence.
        bool wholeAfter =
            end == message.size() || !isAddressChar(message[end]) ||
            (message[end] == '.' && (end + 1 == message.size() || !isAddressChar(message[end + 1])));
        if (wholeBefore && wholeAfter) return true;
    }
    return false;
}

bool IsZoneExhausted(const std::string& code) {
    return code == "ZONE_RESOURCE_POOL_EXHAUSTED_WITH_DETAILS" || code == "ZONE_RESOURCE_POOL_EXHAUSTED";
}

}  // namespace

bool CGoogleCloudOperations::CreateInstance(const std::string& projectId, SVMInfoLib& instance) {
    std::string body;
    if (!parser->GetRequestBody(instance, body)) return false;
    return CreateInstanceWithRetries(__PRETTY_FUNCTION__, projectId, InstancesIn(instance.zone), body,
                                     &instance, instance.name);
}

// The caller's text is the body, unchanged; the record gives only the zone and the name.
bool CGoogleCloudOperations::CreateInstanceFromJson(const std::string& projectId,
                                                    const std::string& instanceJson, SVMInfoLib& instance) {
    return CreateInstanceWithRetries(__PRETTY_FUNCTION__, projectId, InstancesIn(instance.zone), instanceJson,
                                     nullptr, instance.name);
}

bool CGoogleCloudOperations::CreateInstanceWithRetries(const char* tag, const std::string& projectId,
                                                       const std::string& link, std::string body,
                                                       SVMInfoLib* rewritable,
                                                       const std::string& instanceName) {
    uint32_t attempt = 0;
    for (;;) {
        ++attempt;
        std::string response;
        if (!PostObjectToLinkAndGetResult(projectId, link, body, response)) return false;
        if (ParseOperationResp(response, 0, 0)) return true;

        const std::string code = GetErrorCode();
        if (IsZoneExhausted(code)) {
            logger.Debug(tag, "Retrying operation");
            XWSLEEP_InTeRnAl(retryInterval * 1000, __FILE__, __LINE__);
        } else if (code == "IP_IN_USE_BY_ANOTHER_RESOURCE" && rewritable) {
            XWSLEEP_InTeRnAl(retryInterval * 3000, __FILE__, __LINE__);
            logger.Debug(
                tag, "Instance creation failed with IP conflict error. Retrying with automatic IP address");
            // An address named in the message is left for Compute Engine to choose.
            const std::string message = GetErrorMessage();
            for (SNetworkInterfaceInfoLib& networkInterface : rewritable->networkInterfaces)
                if (NamesAddress(message, networkInterface.networkIP)) networkInterface.networkIP.clear();
            if (!parser->GetRequestBody(*rewritable, body)) return false;
        } else {
            logger.Debug(tag, "Failed to create instance [%s].", instanceName.c_str());
            return false;
        }
        if (attempt > retryAttempts) return false;
    }
}

// Delete, stop and start: nothing is sent without a name and a zone.
bool CGoogleCloudOperations::InstanceAction(const char* tag, const std::string& projectId,
                                            const std::string& instanceName, const std::string& zone,
                                            const std::string& action, const char* failureFormat) {
    if (instanceName.empty()) {
        logger.Debug(tag, "Instance name is empty.");
        return false;
    }
    if (zone.empty()) {
        logger.Debug(tag, "Instance zone is empty.");
        return false;
    }
    const std::string link = InstancesIn(zone) + "/" + url::Segment(instanceName);
    std::string response;
    bool sent = action.empty() ? DeleteObjectFromLinkAndGetResult(projectId, link, response)
                               : PostObjectToLinkAndGetResult(projectId, link + "/" + action, "", response);
    if (!sent) {
        logger.Debug(tag, failureFormat, instanceName.c_str());
        return false;
    }
    return ParseOperationResp(response, 0, 0);
}

bool CGoogleCloudOperations::DeleteInstance(const std::string& projectId, const std::string& instanceName,
                                            const std::string& zone) {
    return InstanceAction(__PRETTY_FUNCTION__, projectId, instanceName, zone, "",
                          "Failed to delete instance [%s].");
}

bool CGoogleCloudOperations::PowerOffInstance(const std::string& projectId, const std::string& instanceName,
                                              const std::string& zone) {
    return InstanceAction(__PRETTY_FUNCTION__, projectId, instanceName, zone, "stop",
                          "Failed to power off instance [%s].");
}

bool CGoogleCloudOperations::PowerOnInstance(const std::string& projectId, const std::string& instanceName,
                                             const std::string& zone) {
    return InstanceAction(__PRETTY_FUNCTION__, projectId, instanceName, zone, "start",
                          "Failed to power on instance [%s].");
}

}  // namespace GoogleCloudSDKWrapper
