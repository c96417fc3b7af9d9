// Cloud Spanner instances, configurations, databases and operations; Dataflow jobs and template launches.
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"

namespace GoogleCloudSDKWrapper {

namespace {

// The parts of a resource name split at "/", when there are exactly that many. One pass into a vector
// of that size: a list of many databases splits one name for each.
bool NameParts(const std::string& name, size_t count, std::vector<std::string>& parts) {
    parts.clear();
    parts.reserve(count);
    for (size_t start = 0;;) {
        const size_t slash = name.find('/', start);
        if (parts.size() + 1 == count) {
            if (slash != std::string::npos) return false;
            parts.emplace_back(name, start);
            return true;
        }
        if (slash == std::string::npos) return false;
        parts.emplace_back(name, start, slash - start);
        start = slash + 1;
    }
}

}  // namespace

bool CGoogleCloudParser::Convert(const mObject& object, SSpannerInstanceInfoLib& instance) {
    const std::string name = GetStringValue(object, "name");
    std::vector<std::string> parts;
    if (!NameParts(name, 4, parts)) {
        logger.Error(__PRETTY_FUNCTION__, "Invalid name obtained [%s]", name.c_str());
        return false;
    }
    instance.projectId = parts[1];
    instance.name = parts[3];
    const std::string config = GetStringValue(object, "config");
    if (!NameParts(config, 4, parts)) {
        logger.Error(__PRETTY_FUNCTION__, "Invalid config obtained [%s]", config.c_str());
        return false;
    }
    instance.config = parts[3];
    instance.displayName = GetStringValue(object, "displayName");
    instance.nodeCount = GetIntValue(object, "nodeCount");
    instance.state = GetStringValue(object, "state");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSpannerInstanceConfigInfoLib& config) {
    config.name = GetStringValue(object, "name");
    config.displayName = GetStringValue(object, "displayName");
    if (const mArray* replicas = ZkJson::FindArray(object, "replicas")) {
        for (const mValue& element : *replicas) {
            if (element.type() != json_spirit::obj_type) continue;
            const mObject& replica = element.get_obj();
            SSpannerInstanceConfigInfoLib::SReplicaInfo info;
            info.type = GetStringValue(replica, "type");
            info.location = GetStringValue(replica, "location");
            info.defaultLeaderLocation = GetBoolValue(replica, "defaultLeaderLocation");
            config.replicas.push_back(std::move(info));
        }
    }
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSpannerDatabaseBackupInfoLib& backup) {
    backup.backup = GetStringValue(object, "backup");
    backup.createTime = GetStringValue(object, "createTime");
    backup.sourceDatabase = GetStringValue(object, "sourceDatabase");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSpannerDatabaseRestoreInfoLib& restore) {
    restore.sourceType = GetStringValue(object, "sourceType");
    const mObject* backup = ZkJson::FindObject(object, "backupInfo");
    return Convert(backup ? *backup : mObject(), restore.backupInfo);
}

bool CGoogleCloudParser::Convert(const mObject& object, SSpannerDatabaseInfoLib& database) {
    const std::string name = GetStringValue(object, "name");
    std::vector<std::string> parts;
    if (!NameParts(name, 6, parts)) {
        logger.Error(__PRETTY_FUNCTION__, "Invalid name obtained [%s]", name.c_str());
        return false;
    }
    database.projectId = parts[1];
    database.instanceId = parts[3];
    database.name = parts[5];
    database.state = GetStringValue(object, "state");
    database.createTime = GetStringValue(object, "createTime");
    const mObject* restore = ZkJson::FindObject(object, "restoreInfo");
    return Convert(restore ? *restore : mObject(), database.restoreInfo);
}

bool CGoogleCloudParser::Convert(const mObject& object, SDataflowJobInfoLib& job) {
    const mObject* wrapped = ZkJson::FindObject(object, "job");
    const mObject& from = wrapped ? *wrapped : object;
    job.id = GetStringValue(from, "id");
    job.projectId = GetStringValue(from, "projectId");
    job.name = GetStringValue(from, "name");
    job.type = GetStringValue(from, "type");
    job.currentState = GetStringValue(from, "currentState");
    job.currentStateTime = GetStringValue(from, "currentStateTime");
    job.requestedState = GetStringValue(from, "requestedState");
    job.createTime = GetStringValue(from, "createTime");
    job.startTime = GetStringValue(from, "startTime");
    job.location = GetStringValue(from, "location");
    return true;
}

bool CGoogleCloudParser::Convert(const mObject& object, SSpannerOperationInfoLib& operation) {
    operation.name = GetStringValue(object, "name");
    operation.done = GetBoolValue(object, "done");
    if (const mObject* error = ZkJson::FindObject(object, "error")) Convert(*error, operation.error);
    if (const mObject* response = ZkJson::FindObject(object, "response"))
        operation.responseType = GetStringValue(*response, "@type");
    return true;
}

bool CGoogleCloudParser::Convert(const SDataflowLaunchTemplateParametersInfoLib& launch, mObject& object) {
    object["jobName"] = launch.jobName;
    mObject parameters;
    for (const auto& [name, value] : launch.parameters) parameters[name] = value;
    object["parameters"] = std::move(parameters);
    return true;
}

}  // namespace GoogleCloudSDKWrapper
