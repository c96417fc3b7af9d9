// Finding VMs with the aggregated instance list (bAggregatedDiscovery=1) against the emulator's
// default world: the same VMs, and the same GUID cache, as zone by zone, for one request per project.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "host/ZKVMGuidCache.h"
#include "tests/support/EmulatorFixture.h"

namespace {

using namespace GoogleCloudSDKWrapper;

const char kCompute[] = "compute.googleapis.com";
const char kAggregated[] = "/aggregated/instances";

// A search that fills vms with what it found.
using Search = std::function<bool(CGoogleCloudSDKWrapper&, std::vector<SVMInfoLib>&)>;

struct Outcome {
    bool ok = false;
    std::vector<std::string> vms;                 // project/region/zone/name, in the order found
    std::map<std::string, std::string> cached;    // GUID: project/region/zone ("" when not cached)
    size_t zonal = 0;                             // Compute requests under a zone, and zone lists
    std::vector<std::string> aggregatedProjects;  // the project of each aggregated request
    std::string errorCode, errorMessage;
};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class AggregatedDiscoveryTest : public testsupport::EmulatorTest {
protected:
    // The settings of the mode, with a GUID cache of its own so that both modes start empty.
    void UseMode(int aggregated) {
        UseSettings("[GoogleCloud]\nbAggregatedDiscovery=" + std::to_string(aggregated) +
                    "\nsGuidCacheFile=" + GuidCacheFile() + ".mode" + std::to_string(aggregated) + "\n");
    }

    Outcome Run(const Search& search) {
        auto wrapper = Connected();
        Emulator().journal().Clear();
        Outcome outcome;
        std::vector<SVMInfoLib> vms;
        outcome.ok = search(*wrapper, vms);
        outcome.errorCode = wrapper->GetLastErrorCode();
        outcome.errorMessage = wrapper->GetLastError();
        ZKVMGuidCache cache("_GOOGLECLOUD_GUID_CACHE_");
        EXPECT_TRUE(cache.Init());
        for (const SVMInfoLib& vm : vms) {
            outcome.vms.push_back(vm.projectId + "/" + vm.region + "/" + vm.zone + "/" + vm.name);
            std::string project, region, zone;
            outcome.cached[vm.id] = cache.LookupGuidCache(vm.id, project, region, zone)
                                        ? project + "/" + region + "/" + zone
                                        : "";
        }
        for (const gcemu::JournalEntry& entry : Emulator().journal().Snapshot()) {
            if (entry.host != kCompute) continue;
            if (EndsWith(entry.path, kAggregated)) {
                const std::string prefix = "/compute/v1/projects/";
                outcome.aggregatedProjects.push_back(entry.path.substr(
                    prefix.size(), entry.path.size() - prefix.size() - strlen(kAggregated)));
            } else if (entry.path.find("/zones") != std::string::npos) {
                ++outcome.zonal;
            }
        }
        return outcome;
    }

    std::vector<std::string> ProjectIds() {
        auto wrapper = Connected();
        std::vector<SProjectInfoLib> projects;
        EXPECT_TRUE(wrapper->ListProjects(projects));
        std::vector<std::string> ids;
        for (const auto& project : projects) ids.push_back(project.projectId);
        return ids;
    }

    static std::string Guid(const std::string& project, const std::string& zone, const std::string& name) {
        return WorldValue(gcemu::collections::kInstances,
                          "projects/" + project + "/zones/" + zone + "/instances/" + name, "id");
    }
};

// The three searches that go through every zone, in both modes: the same VMs with the same places,
// the same GUID cache entries; with the aggregated list no zone list and no zonal request, and one
// aggregated request per project asked.
TEST_F(AggregatedDiscoveryTest, EachSearchFindsTheSameVmsWithOneRequestPerProject) {
    const std::vector<std::string> projects = ProjectIds();
    const std::string devProject = "gcemu-dev-project";
    auto upTo = [&](const std::string& last) {
        std::vector<std::string> asked;
        for (const std::string& id : projects) {
            asked.push_back(id);
            if (id == last) break;
        }
        return asked;
    };
    const std::string guid = Guid(devProject, "europe-west4-b", "dev-eu-3");
    ASSERT_FALSE(guid.empty());
    const struct {
        const char* what;
        Search search;
        std::vector<std::string> aggregatedProjects;
        size_t found;
    } cases[] = {
        {"a GUID scan reaching a later project",
         [&](CGoogleCloudSDKWrapper& w, std::vector<SVMInfoLib>& vms) {
             std::string project, region, zone;
             SVMInfoLib vm;
             if (!w.ScanInstanceByGuid(guid, 0, project, region, zone, vm)) return false;
             EXPECT_EQ(project + "/" + region + "/" + zone, devProject + "/europe-west4/europe-west4-b");
             vms.push_back(vm);
             return true;
         },
         upTo(devProject), 1},
        {"a literal label in every project",
         [](CGoogleCloudSDKWrapper& w, std::vector<SVMInfoLib>& vms) {
             return w.GetVMInfoListByLabel("", "app", "db", vms, 0);
         },
         projects, 6},
        {"a VM by name without a zone",
         [](CGoogleCloudSDKWrapper& w, std::vector<SVMInfoLib>& vms) {
             SVMInfoLib vm;
             if (!w.DoesVMExist("gcemu-project-2", "dev-2", "", vm)) return false;
             vms.push_back(vm);
             return true;
         },
         {"gcemu-project-2"},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseMode(0);
        const Outcome zonal = Run(c.search);
        UseMode(1);
        const Outcome aggregated = Run(c.search);

        ASSERT_TRUE(zonal.ok);
        ASSERT_TRUE(aggregated.ok) << aggregated.errorCode;
        EXPECT_EQ(zonal.vms.size(), c.found);
        EXPECT_EQ(std::multiset<std::string>(aggregated.vms.begin(), aggregated.vms.end()),
                  std::multiset<std::string>(zonal.vms.begin(), zonal.vms.end()));
        EXPECT_EQ(aggregated.cached, zonal.cached);
        EXPECT_TRUE(zonal.aggregatedProjects.empty()) << "off by default: zone by zone as ever";
        EXPECT_GT(zonal.zonal, aggregated.aggregatedProjects.size());
        EXPECT_EQ(aggregated.zonal, 0u);
        EXPECT_EQ(aggregated.aggregatedProjects, c.aggregatedProjects);
    }
}

// A refused aggregated list fails the search as a refused zone list does, with the same code.
TEST_F(AggregatedDiscoveryTest, ARefusedListFailsWithTheZonalPathsCode) {
    const std::string project = "gcemu-project-1";
    const std::string compute = std::string(kCompute) + "/compute/v1/projects/" + project;
    const Search byName = [&](CGoogleCloudSDKWrapper& w, std::vector<SVMInfoLib>&) {
        SVMInfoLib vm;
        return w.DoesVMExist(project, "web-1", "", vm);
    };
    for (int status : {403, 500}) {
        SCOPED_TRACE(status);
        UseMode(0);
        Emulator().faults().Add({"GET", compute + "/zones", 1, gcemu::FaultKind::kStatus, status});
        const Outcome zonal = Run(byName);
        UseMode(1);
        Emulator().faults().Add({"GET", compute + kAggregated, 1, gcemu::FaultKind::kStatus, status});
        const Outcome aggregated = Run(byName);

        EXPECT_FALSE(zonal.ok);
        EXPECT_FALSE(aggregated.ok);
        EXPECT_EQ(zonal.errorCode, std::to_string(status));
        EXPECT_EQ(aggregated.errorCode, zonal.errorCode);
        EXPECT_EQ(aggregated.errorMessage, zonal.errorMessage);
        EXPECT_EQ(aggregated.aggregatedProjects, std::vector<std::string>{project}) << "asked once";
        EXPECT_EQ(aggregated.zonal, 0u);
    }
}

}  // namespace
