// Compute Engine operations and the setLabels body.
#include <utility>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudParser/MappingHelpers.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudParser::Convert(const mObject& object, SOperationInfoLib& operation) {
    operation.name = GetStringValue(object, "name");
    operation.status = GetStringValue(object, "status");
    operation.selfLink = GetStringValue(object, "selfLink");
    operation.operationType = GetStringValue(object, "operationType");
    operation.user = GetStringValue(object, "user");
    operation.zone = GetStringValue(object, "zone");
    operation.targetLink = GetStringValue(object, "targetLink");
    operation.targetId = GetStringValue(object, "targetId");
    operation.httpErrorStatusCode = GetIntValue(object, "httpErrorStatusCode");
    operation.httpErrorMessage = GetStringValue(object, "httpErrorMessage");
    // A poll may read into the record of the previous poll: the errors of this answer replace those.
    if (const mObject* error = ZkJson::FindObject(object, "error")) {
        std::vector<SOperationErrorInfoLib> errors;
        ConvertNestedList(*error, "errors", errors);
        operation.errors = std::move(errors);
    }
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SOperationErrorInfoLib& error) {
    // Compute Engine names its codes ("ZONE_RESOURCE_POOL_EXHAUSTED"); Spanner's google.rpc.Status numbers
    // them (6 for ALREADY_EXISTS), and a number read as text would be lost.
    const auto code = object.find("code");
    if (code != object.end() && code->second.type() == json_spirit::int_type)
        error.code = code->second.is_uint64() ? std::to_string(code->second.get_uint64())
                                              : std::to_string(code->second.get_int64());
    else
        error.code = GetStringValue(object, "code");
    error.message = GetStringValue(object, "message");
    return true;
}

bool CGoogleCloudParser::Convert(const SLabelInfoLib& labels, mObject& object) {
    object["labels"] = LabelsObject(labels.labels);
    object["labelFingerprint"] = labels.labelFingerprint;
    return true;
}

}  // namespace GoogleCloudSDKWrapper
