// The generated world of gcemu --generate-world: its size text, and the shape of what it makes — every
// project seeing every zone, and the one VM in the last zone of the last project.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/GeneratedWorld.h"
#include "tests/emulator/EmulatorClient.h"
#include "tests/support/TempDir.h"

namespace {

TEST(GeneratedWorldTest, ReadsTheSizeAsProjectsByZones) {
    const struct {
        const char* text;
        bool ok;
        int projects, zones;
    } cases[] = {
        {"20x100", true, 20, 100}, {"1x1", true, 1, 1},   {"1000x2600", true, 1000, 2600},
        {"0x5", false, 0, 0},      {"5x0", false, 0, 0},  {"1001x1", false, 0, 0},
        {"1x2601", false, 0, 0},   {"5x", false, 0, 0},   {"x5", false, 0, 0},
        {"5x3x2", false, 0, 0},    {"+5x3", false, 0, 0}, {" 5x3", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        gcemu::WorldSize size{7, 7};
        EXPECT_EQ(gcemu::ParseWorldSize(c.text, size), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(size.projects, c.projects) << c.text;
            EXPECT_EQ(size.zones, c.zones) << c.text;
        } else {
            EXPECT_EQ(size.projects, 7) << c.text << ": untouched";
        }
    }
    EXPECT_THROW(gcemu::GenerateWorld({0, 1}), std::invalid_argument);
}

TEST(GeneratedWorldTest, EveryProjectSeesEveryZoneAndTheVmIsWhereAScanLooksLast) {
    const struct {
        int projects, zones;
        const char* lastProject;
        const char* lastZone;
        size_t regions;
    } cases[] = {
        {1, 1, "bench-project-00", "bench-r00-a", 1},
        {3, 6, "bench-project-02", "bench-r01-b", 2},
        {2, 101, "bench-project-01", "bench-r25-a", 26},
        {2, 404, "bench-project-01", "bench-r100-d", 101},  // three digits, still in name order
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.projects) + "x" + std::to_string(c.zones));
        const gcemu::WorldSize size{c.projects, c.zones};
        const gcemu::GeneratedVm vm = gcemu::GeneratedWorldVm(size);
        EXPECT_EQ(vm.project, c.lastProject);
        EXPECT_EQ(vm.zone, c.lastZone);

        testsupport::TempDir dir;
        gcemu::EmulatorOptions options;
        options.worldFile = dir.File("world.json");
        gcemu::WriteGeneratedWorld(size, options.worldFile);
        emutest::Client client(options);
        for (const std::string& project : {std::string("bench-project-00"), vm.project}) {
            const std::vector<std::string> zones = client.Names("/compute/v1/projects/" + project + "/zones");
            ASSERT_EQ(zones.size(), static_cast<size_t>(c.zones)) << project;
            EXPECT_EQ(zones.back(), c.lastZone) << "in name order, the VM's zone comes last";
            EXPECT_EQ(client.Names("/compute/v1/projects/" + project + "/regions").size(), c.regions);
        }
        const std::string instances =
            "/compute/v1/projects/" + vm.project + "/zones/" + vm.zone + "/instances";
        EXPECT_EQ(client.Names(instances), std::vector<std::string>{vm.name});
        const emutest::Reply target = client.Get(instances + "/" + vm.name);
        EXPECT_EQ(emutest::Obj(target.body, "labels").at(vm.labelKey).get_str(), vm.labelValue);
    }
}

}  // namespace
