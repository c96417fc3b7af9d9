// The VMs of every zone of a project in one list: Compute Engine's aggregated instance list, which
// groups them by scope ("zones/Z") and marks a scope without VMs on the page with a warning.
#include <set>

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
    std::vector<SVMInfoLib> found;
    std::string pageToken;
    std::set<std::string> seenTokens;
    for (;;) {
        std::string response;
        if (!connection->get(projectId, PagePath(path, pageToken), response)) {
            SetLastErrorFromResponse(response);
            logger.Debug(__PRETTY_FUNCTION__,
                         "Failed:  GET for the aggregated instances [%s] of project [%s]", path.c_str(),
                         projectId.c_str());
            return false;
        }
        mObject page;
        if (!ZkJson::Unserialize(response, page)) {
            logger.Error(__PRETTY_FUNCTION__, "The aggregated instances of project [%s] are not JSON.",
                         projectId.c_str());
            return false;
        }
        if (mValue* scopes = Member(page, "items", json_spirit::obj_type)) {
            for (auto& [scopeName, scopeValue] : scopes->get_obj()) {
                if (scopeValue.type() != json_spirit::obj_type) continue;
                mObject& scope = scopeValue.get_obj();
                if (const mObject* warning = ZkJson::FindObject(scope, "warning")) {
                    const std::string code = ZkJson::GetStringValue(*warning, "code");
                    if (code != kNoResults)
                        logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Scope [%s] of project [%s] warns [%s]: %s",
                                        scopeName.c_str(), projectId.c_str(), code.c_str(),
                                        ZkJson::GetStringValue(*warning, "message").c_str());
                }
                mValue* instances = Member(scope, "instances", json_spirit::array_type);
                if (!instances) continue;
                // Read as a zonal list's items are; an instance that does not name its zone takes the
                // scope's.
                for (mValue& instance : instances->get_array())
                    if (instance.type() == json_spirit::obj_type && !instance.get_obj().count("zone"))
                        instance.get_obj()["zone"] = scopeName;
                mObject list;
                list["items"] = std::move(*instances);
                parser->ParseList(ZkJson::Serialize(list), "items", found);
            }
        }
        const std::string next = ZkJson::GetStringValue(page, "nextPageToken");
        if (next.empty()) break;
        // A server that hands out the same token again would keep us here for ever.
        if (!seenTokens.insert(next).second) {
            logger.Error(__PRETTY_FUNCTION__, "The list [%s] repeats its page token; reading stopped.",
                         path.c_str());
            break;
        }
        pageToken = next;
    }
    vms.insert(vms.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return true;
}

}  // namespace GoogleCloudSDKWrapper
