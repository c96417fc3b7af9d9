#include "emulator/ComputeAggregated.h"

#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;

namespace {

mObject NoResultsWarning(const std::string& scope) {
    return mObject{{"code", "NO_RESULTS_ON_PAGE"},
                   {"message", "There are no results for scope '" + scope + "' on this page."},
                   {"data", mArray{mObject{{"key", "scope"}, {"value", scope}}}}};
}

}  // namespace

Response AggregatedInstancesResponse(const EmulatorContext& context, const Request& request,
                                     World::Txn& world, const std::string& projectId) {
    const std::string project = "projects/" + projectId;
    const std::string listName = project + "/aggregated/instances";
    if (projectId.find('/') != std::string::npos) return ComputeNotFoundResponse(request.path);
    const std::string missing = MissingParent(world, listName);
    if (!missing.empty()) return ComputeMissingResponse(missing, listName);

    // Instance keys run zone by zone (projects/p/zones/z/instances/n), so a page is grouped already.
    KeyedResources instances;
    for (const auto& [key, instance] : world.List(collections::kInstances, project + "/zones/"))
        instances.emplace_back(key, instance);
    PageSlice slice;
    Response refusal;
    if (!ComputeListPage(context, request, listName, instances, slice, refusal)) return refusal;

    mObject scopes;
    for (const auto& [key, zone] : world.List(collections::kZones, project + "/zones/"))
        scopes["zones/" + LastSegment(key)] = mObject();
    for (const mObject* instance : slice.items) {
        const std::string scope = "zones/" + LastSegment(ZkJson::GetStringValue(*instance, "zone"));
        mObject& holder = scopes[scope].get_obj();
        holder.emplace("instances", mArray()).first->second.get_array().push_back(*instance);
    }
    for (auto& [scope, holder] : scopes) {
        if (holder.get_obj().empty()) holder.get_obj()["warning"] = NoResultsWarning(scope);
    }

    mObject body;
    body["kind"] = "compute#instanceAggregatedList";
    body["id"] = listName;
    body["items"] = std::move(scopes);
    body["selfLink"] = ComputeUrl(listName);
    if (!slice.nextPageToken.empty()) body["nextPageToken"] = slice.nextPageToken;
    return Response::Json(body);
}

}  // namespace gcemu
