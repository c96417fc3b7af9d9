// Lists as Compute Engine answers them: filtered, in pages, with "kind", "id" and "selfLink", and
// without "items" when nothing is listed. Also the one-line routes for plain gets and lists.
//
// Page tokens are opaque to clients: they carry the key of the last item listed, bound to the list and
// its filter and signed with a key of this process, so that a token from elsewhere is refused. Paging
// from a key keeps every item exactly once even when items come and go between pages.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "emulator/ApiFamily.h"

namespace gcemu {

using KeyedResources = std::vector<std::pair<std::string, const json_spirit::mObject*>>;

// The largest page: the client's maxResults (0 or absent: 500; above 500 refused) and the emulator's
// page size, whichever is smaller.
constexpr int kMaxResults = 500;

// One page of items (in key order) from after the token's key. False when the token was not made for
// this scope.
struct PageSlice {
    std::vector<const json_spirit::mObject*> items;
    std::string nextPageToken;  // empty on the last page
};
bool SlicePage(const KeyedResources& items, size_t pageSize, const std::string& pageToken,
               const std::string& scope, PageSlice& slice);

// The page of items (in key order) the request asks for: its filter, maxResults and pageToken. False,
// with the 400 in refusal, for a filter, maxResults or token Compute Engine would refuse.
bool ComputeListPage(const EmulatorContext& context, const Request& request, const std::string& listName,
                     const KeyedResources& items, PageSlice& slice, Response& refusal);

// A Compute list page for the request (filter, maxResults, pageToken), or its 400. listName is the
// relative name of the list ("projects/p/zones/z/instances"); kind may be empty (licenses).
Response ComputeListResponse(const EmulatorContext& context, const Request& request, const std::string& kind,
                             const std::string& listName, const KeyedResources& items);

// Routes on the Compute hosts for "/compute/v1/projects/{project}/" + tail. The relative name is the
// tail with the captures put in; a missing resource or project answers Compute's 404, and anything
// under a zone or region that does not exist its 400 (ComputeMissingResponse).
//   AddGetRoute(router, context, "zones/{zone}/instances/{name}", collections::kInstances);
//   AddListRoute(router, context, "zones/{zone}/instances", collections::kInstances, "compute#instanceList");
// Image publisher projects are known to routes made with publishers set. A get moves the operations
// that watch the resource one step on (see ComputeOperations.h).
void AddGetRoute(Router& router, EmulatorContext& context, const std::string& tail, const char* collection,
                 bool publishers = false);
void AddListRoute(Router& router, EmulatorContext& context, const std::string& tail, const char* collection,
                  const char* kind, bool publishers = false);

// "projects/{project}/" + tail with the request's captures put in; false when a capture holds a '/'.
bool ExpandTail(const std::string& tail, const Request& request, std::string& relativeName);

}  // namespace gcemu
