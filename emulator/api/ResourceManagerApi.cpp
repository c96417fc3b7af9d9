// Resource Manager v1 projects: list and get. The projects are the world's (image publishers such as
// windows-cloud are not among them).
// https://cloud.google.com/resource-manager/reference/rest/v1/projects
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeLists.h"
#include "emulator/Encoding.h"
#include "emulator/GoogleErrors.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;

// One term of the list filter: "field:value", value matched without regard to case, "*" at its end
// for a prefix, a lone "*" for any value.
struct Term {
    std::string field;
    std::string value;

    bool Matches(const mObject& project) const {
        std::string text;
        if (field == "id" || field == "projectid") {
            text = ZkJson::GetStringValue(project, "projectId");
        } else if (field == "name" || field == "lifecyclestate") {
            text = ZkJson::GetStringValue(project, field == "name" ? "name" : "lifecycleState");
        } else if (field.compare(0, 7, "parent.") == 0) {
            const mObject* parent = ZkJson::FindObject(project, "parent");
            if (!parent) return false;
            text = ZkJson::GetStringValue(*parent, field.substr(7));
        } else {
            const mObject* labels = ZkJson::FindObject(project, "labels");
            const std::string key = field.substr(7);
            if (!labels || !labels->count(key)) return false;
            text = ZkJson::GetStringValue(*labels, key);
        }
        text = ToLower(text);
        if (value == "*") return true;
        if (!value.empty() && value.back() == '*')
            return text.compare(0, value.size() - 1, value, 0, value.size() - 1) == 0;
        return text == value;
    }
};

// Terms separated by spaces; a project matches when any term does (as the API documents).
std::vector<Term> ParseFilter(const std::string& filter) {
    std::vector<Term> terms;
    size_t at = 0;
    while (at < filter.size()) {
        const size_t end = std::min(filter.find(' ', at), filter.size());
        const std::string word = filter.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        const size_t colon = word.find_first_of(":=");
        if (colon == std::string::npos || colon == 0 || colon + 1 == word.size())
            throw std::invalid_argument(word);
        Term term{ToLower(word.substr(0, colon)), ToLower(word.substr(colon + 1))};
        const bool known = term.field == "id" || term.field == "projectid" || term.field == "name" ||
                           term.field == "lifecyclestate" || term.field == "parent.type" ||
                           term.field == "parent.id" ||
                           (term.field.compare(0, 7, "labels.") == 0 && term.field.size() > 7);
        if (!known) throw std::invalid_argument(word);
        terms.push_back(std::move(term));
    }
    return terms;
}

Response List(const EmulatorContext& context, const Request& request) {
    std::vector<Term> terms;
    try {
        terms = ParseFilter(request.Query("filter"));
    } catch (const std::invalid_argument&) {
        return InvalidArgument("Request contains an invalid argument.").ToResponse();
    }
    int pageSize = kMaxResults;
    if (request.HasQuery("pageSize")) {
        const std::string text = request.Query("pageSize");
        if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
            return InvalidArgument("Invalid value at 'page_size' (TYPE_INT32), \"" + text + "\"")
                .ToResponse();
        pageSize = std::stoi(text);
        if (pageSize == 0 || pageSize > kMaxResults) pageSize = kMaxResults;
    }
    if (context.options.pageSize > 0) pageSize = std::min(pageSize, context.options.pageSize);

    World::Txn world = context.world.Lock();
    KeyedResources matching;
    for (const auto& [key, project] : world.List(collections::kProjects)) {
        bool match = terms.empty();
        for (const Term& term : terms) match = match || term.Matches(*project);
        if (match) matching.emplace_back(key, project);
    }
    PageSlice slice;
    if (!SlicePage(matching, static_cast<size_t>(pageSize), request.Query("pageToken"),
                   "resourcemanager\n" + request.Query("filter"), slice))
        return InvalidArgument("Request contains an invalid argument.").ToResponse();
    mObject body;
    if (!slice.items.empty()) {
        mArray projects;
        for (const mObject* project : slice.items) projects.push_back(*project);
        body["projects"] = std::move(projects);
    }
    if (!slice.nextPageToken.empty()) body["nextPageToken"] = slice.nextPageToken;
    return Response::Json(body);
}

class ResourceManagerApi : public ApiFamily {
public:
    const char* Name() const override { return "resourcemanager"; }

    void Register(Router& router, EmulatorContext& context) override {
        router.Add(
            hosts::kResourceManager, "GET", "/v1/projects",
            [&context](const Request& request, Response& response) { response = List(context, request); });
        // Resource Manager does not tell a project that does not exist from one the caller may not see.
        router.Add(hosts::kResourceManager, "GET", "/v1/projects/{project}",
                   [&context](const Request& request, Response& response) {
                       World::Txn world = context.world.Lock();
                       const mObject* project = world.FindProject(request.Param("project"));
                       response = project
                                      ? Response::Json(*project)
                                      : PermissionDenied("The caller does not have permission").ToResponse();
                   });
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeResourceManagerApi() {
    return std::make_unique<ResourceManagerApi>();
}

}  // namespace gcemu
