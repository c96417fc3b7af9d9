// zones and regions of a project.
#include <algorithm>

#include "Session.h"
#include "cli/Output.h"
#include "commands/Commands.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::SRegionInfoLib;
using GoogleCloudSDKWrapper::SZoneInfoLib;

const Option kProjectOption{"project", "P", "project id (default: the first visible project that has any)"};

template <typename Record>
void SortByName(std::vector<Record>& records) {
    std::sort(records.begin(), records.end(),
              [](const Record& a, const Record& b) { return a.name < b.name; });
}

std::string Scope(const Invocation& invocation) {
    const std::string project = invocation.args.Value("project");
    return project.empty() ? "" : " of project " + project;
}

int RunZones(const Invocation& invocation) {
    Session session(invocation);
    int status = kExitOk;
    auto* cloud = session.Connect(status);
    if (!cloud) return status;

    std::vector<SZoneInfoLib> zones;
    const bool listed = cloud->GetZoneInfoList(invocation.args.Value("project"), zones, 0);
    if (!session.Listed(listed, zones.empty())) return session.Fail("listing zones" + Scope(invocation));
    SortByName(zones);
    return PrintList<SZoneInfoLib>(
        invocation, zones, "zones", {"NAME", "REGION", "STATUS", "ID"},
        [](const SZoneInfoLib& z) -> std::vector<std::string> {
            return {z.name, z.region, z.status, z.id};
        },
        [](const SZoneInfoLib& z) {
            json_spirit::mObject object;
            object["name"] = z.name;
            object["id"] = z.id;
            object["region"] = z.region;
            object["status"] = z.status;
            object["description"] = z.description;
            object["selfLink"] = z.selfLink;
            return object;
        });
}

std::vector<std::string> ZoneNames(const SRegionInfoLib& region) {
    std::vector<std::string> names;
    for (const SZoneInfoLib& zone : region.zoneList) names.push_back(zone.name);
    std::sort(names.begin(), names.end());
    return names;
}

int RunRegions(const Invocation& invocation) {
    Session session(invocation);
    int status = kExitOk;
    auto* cloud = session.Connect(status);
    if (!cloud) return status;

    std::vector<SRegionInfoLib> regions;
    const bool listed = cloud->GetRegionInfoList(invocation.args.Value("project"), regions, 0);
    if (!session.Listed(listed, regions.empty())) return session.Fail("listing regions" + Scope(invocation));
    SortByName(regions);
    return PrintList<SRegionInfoLib>(
        invocation, regions, "regions", {"NAME", "STATUS", "ID", "ZONES"},
        [](const SRegionInfoLib& r) -> std::vector<std::string> {
            return {r.name, r.status, r.id, Join(ZoneNames(r), ",")};
        },
        [](const SRegionInfoLib& r) {
            json_spirit::mObject object;
            object["name"] = r.name;
            object["id"] = r.id;
            object["status"] = r.status;
            object["description"] = r.description;
            object["selfLink"] = r.selfLink;
            json_spirit::mArray zones;
            for (const std::string& zone : ZoneNames(r)) zones.push_back(zone);
            object["zones"] = zones;
            return object;
        });
}

}  // namespace

void AddLocationCommands(Registry& registry) {
    Command zones;
    zones.name = "zones";
    zones.summary = "List the Compute Engine zones of a project";
    zones.usage = "[--project P]";
    zones.options = {kProjectOption};
    zones.run = RunZones;
    registry.Add(std::move(zones));

    Command regions;
    regions.name = "regions";
    regions.summary = "List the Compute Engine regions of a project, with their zones";
    regions.usage = "[--project P]";
    regions.options = {kProjectOption};
    regions.run = RunRegions;
    registry.Add(std::move(regions));
}

}  // namespace gcsdk
