// A world of a given size for measuring discovery: P projects, each seeing Z zones (in regions of four),
// and one VM, in the last zone of the last project, where a scan in name order looks last.
//
//   gcemu --generate-world 20x100
#pragma once

#include <string>

#include "host/json/JsonValue.h"

namespace gcemu {

struct WorldSize {
    int projects = 20;
    int zones = 100;
};

// Where the generated world's one VM is, and the label it carries.
struct GeneratedVm {
    std::string project;
    std::string region;
    std::string zone;
    std::string name;
    std::string labelKey;
    std::string labelValue;
};

// Projects bench-project-00.., regions bench-r00.. with zones <region>-a..-d, a default auto network in
// each project; the machine, disk and image catalogs of the built-in world. Throws std::invalid_argument
// for fewer than one project or zone, or more than 1000 projects or 2600 zones.
json_spirit::mObject GenerateWorld(const WorldSize& size);
GeneratedVm GeneratedWorldVm(const WorldSize& size);

// "PxZ" ("20x100"); false when the text is not two positive numbers within GenerateWorld's limits.
bool ParseWorldSize(const std::string& text, WorldSize& size);

// Writes GenerateWorld(size) to path as JSON; throws std::runtime_error when it cannot.
void WriteGeneratedWorld(const WorldSize& size, const std::string& path);

}  // namespace gcemu
