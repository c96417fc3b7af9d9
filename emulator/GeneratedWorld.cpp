#include "emulator/GeneratedWorld.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "emulator/World.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;

constexpr int kZonesPerRegion = 4;
constexpr int kMaxProjects = 1000;
constexpr int kMaxZones = 2600;  // 650 regions: ranges 10.0.0.0/20 on, well inside 10/8

std::string Numbered(const char* prefix, int number, int width) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%0*d", prefix, width, number);
    return text;
}

int Width(int count) {
    return count > 100 ? 3 : 2;
}

std::string RegionName(int region, int regions) {
    return Numbered("bench-r", region, Width(regions));
}

std::string ZoneName(const std::string& region, int zoneInRegion) {
    return region + "-" + static_cast<char>('a' + zoneInRegion);
}

int RegionCount(int zones) {
    return (zones + kZonesPerRegion - 1) / kZonesPerRegion;
}

void Check(const WorldSize& size) {
    if (size.projects < 1 || size.projects > kMaxProjects || size.zones < 1 || size.zones > kMaxZones)
        throw std::invalid_argument("a generated world has 1 to " + std::to_string(kMaxProjects) +
                                    " projects and 1 to " + std::to_string(kMaxZones) + " zones");
}

}  // namespace

GeneratedVm GeneratedWorldVm(const WorldSize& size) {
    Check(size);
    const int regions = RegionCount(size.zones);
    GeneratedVm vm;
    vm.project = Numbered("bench-project-", size.projects - 1, Width(size.projects));
    vm.region = RegionName(regions - 1, regions);
    vm.zone = ZoneName(vm.region, (size.zones - 1) % kZonesPerRegion);
    vm.name = "bench-target";
    vm.labelKey = "bench-role";
    vm.labelValue = "target";
    return vm;
}

mObject GenerateWorld(const WorldSize& size) {
    Check(size);
    const mObject builtIn = World::DefaultDocument();
    const mObject& builtInLocations = builtIn.at("locations").get_obj();

    const int regions = RegionCount(size.zones);
    mArray regionList;
    for (int region = 0, zone = 0; region < regions; ++region) {
        const std::string name = RegionName(region, regions);
        mArray zones;
        for (int inRegion = 0; inRegion < kZonesPerRegion && zone < size.zones; ++inRegion, ++zone)
            zones.push_back(ZoneName(name, inRegion));
        // A /20 each, as Google's auto-mode ranges are: 10.0.0.0/20, 10.0.16.0/20, ...
        const std::string range =
            "10." + std::to_string(region / 16) + "." + std::to_string((region % 16) * 16) + ".0/20";
        regionList.push_back(mObject{{"name", name}, {"zones", zones}, {"autoSubnetRange", range}});
    }
    mObject locations{{"regions", regionList},
                      {"machineTypes", builtInLocations.at("machineTypes")},
                      {"diskTypes", builtInLocations.at("diskTypes")}};

    const GeneratedVm target = GeneratedWorldVm(size);
    mArray projects;
    for (int project = 0; project < size.projects; ++project) {
        mObject entry{{"projectId", Numbered("bench-project-", project, Width(size.projects))},
                      {"networks", mArray{mObject{{"name", "default"}}}}};
        if (entry["projectId"].get_str() == target.project) {
            mObject bootDisk{{"sourceImage", "projects/debian-cloud/global/images/family/debian-12"}};
            mObject labels{{target.labelKey, target.labelValue}};
            entry["instances"] = mArray{mObject{
                {"name", target.name}, {"zone", target.zone}, {"bootDisk", bootDisk}, {"labels", labels}}};
        }
        projects.push_back(entry);
    }
    return mObject{
        {"locations", locations}, {"imageProjects", builtIn.at("imageProjects")}, {"projects", projects}};
}

bool ParseWorldSize(const std::string& text, WorldSize& size) {
    const size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
    for (const char c : text)
        if (c != 'x' && (c < '0' || c > '9')) return false;
    char* end = nullptr;
    const std::string projects = text.substr(0, x), zones = text.substr(x + 1);
    const long p = std::strtol(projects.c_str(), &end, 10);
    if (*end != '\0') return false;
    const long z = std::strtol(zones.c_str(), &end, 10);
    if (*end != '\0') return false;
    if (p < 1 || p > kMaxProjects || z < 1 || z > kMaxZones) return false;
    size.projects = static_cast<int>(p);
    size.zones = static_cast<int>(z);
    return true;
}

void WriteGeneratedWorld(const WorldSize& size, const std::string& path) {
    const std::string text = ZkJson::Serialize(json_spirit::mValue(GenerateWorld(size)));
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!(file << text) || !file.flush()) throw std::runtime_error("cannot write the world file " + path);
}

}  // namespace gcemu
