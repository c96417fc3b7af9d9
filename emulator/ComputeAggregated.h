// Compute Engine's aggregated instance list: the instances of every zone of a project in one list,
// grouped by scope ("zones/Z"), filtered and paged over the instances as a zonal list is.
#pragma once

#include <string>

#include "emulator/ApiFamily.h"

namespace gcemu {

// The page of projects/{project}/aggregated/instances the request asks for. Every zone of the
// project's regions is a scope on every page: {"instances": [...]} with the page's instances of that
// zone, else Google's NO_RESULTS_ON_PAGE warning. An unknown project answers Compute's 404; a filter,
// maxResults or pageToken a zonal list refuses, the same 400.
Response AggregatedInstancesResponse(const EmulatorContext& context, const Request& request,
                                     World::Txn& world, const std::string& projectId);

}  // namespace gcemu
