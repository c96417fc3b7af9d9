// The VMs of every zone of a project in one list: Compute Engine's aggregated instance list, which
// groups them by scope ("zones/Z") and marks a scope without VMs on the page with a warning.
#include "GoogleCloudQueries/QueryPatterns.h"

namespace GoogleCloudSDKWrapper {

namespace {

constexpr char kPath[] = "aggregated/instances";
constexpr char kNoResults[] = "NO_RESULTS_ON_PAGE";

// The member of that type, which the caller may change; null when absent or of another type.
json_spirit::mValue* Member(mObject& object, const std::string& key, json_spirit::Value_type type) {
    auto it = object.find(key);
    return it != object.end() && it->second.type() == type ? &it->second : nullptr;
}

}  // namespace

bool CGoogleCloudQueries::GetAggregatedInstances(const std::string& projectId, const std::string& filterQuery,
                                                 std::vector<SVMInfoLib>& vms) {
    const std::string path = kPath + filterQuery;
    logger.Debug(__PRETTY_FUNCTION__, "Calling GET for the aggregated instances [%s] of project [%s]",
                 path.c_str(), projectId.c_str());
    const char* tag = __PRETTY_FUNCTION__;
    std::vector<SVMInfoLib> found;
    // Each scope read as a zonal list's items are; an instance that does not name its zone takes the
    // scope's.
    auto readScope = [&](const std::string& scopeName, mObject& scope) {
        if (const mObject* warning = ZkJson::FindObject(scope, "warning")) {
            const std::string code = ZkJson::GetStringValue(*warning, "code");
            if (code != kNoResults)
                logger.DebugLvl(tag, 2, "Scope [%s] of project [%s] warns [%s]: %s", scopeName.c_str(),
                                projectId.c_str(), code.c_str(),
                                ZkJson::GetStringValue(*warning, "message").c_str());
        }
        mValue* instances = Member(scope, "instances", json_spirit::array_type);
        if (!instances) return;
        for (mValue& instance : instances->get_array())
            if (instance.type() == json_spirit::obj_type && !instance.get_obj().count("zone"))
                instance.get_obj()["zone"] = scopeName;
        mObject list;
        list["items"] = std::move(*instances);
        parser->ParseList(ZkJson::Serialize(list), "items", found);
    };
    bool readable = true;
    std::string response;
    const bool read = ReadPages(projectId, path, response, [&](const std::string& text, std::string& next) {
        mObject page;
        if (!ZkJson::Unserialize(text, page)) {
            logger.Error(tag, "The aggregated instances of project [%s] are not JSON.", projectId.c_str());
            return readable = false;
        }
        mValue* scopes = Member(page, "items", json_spirit::obj_type);
        if (scopes)
            for (auto& [scopeName, scopeValue] : scopes->get_obj())
                if (scopeValue.type() == json_spirit::obj_type) readScope(scopeName, scopeValue.get_obj());
        next = ZkJson::GetStringValue(page, "nextPageToken");
        return true;
    });
    if (!read) {
        SetLastErrorFromResponse(response);
        logger.Debug(__PRETTY_FUNCTION__, "Failed:  GET for the aggregated instances [%s] of project [%s]",
                     path.c_str(), projectId.c_str());
        return false;
    }
    if (!readable) return false;
    vms.insert(vms.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return true;
}

}  // namespace GoogleCloudSDKWrapper
