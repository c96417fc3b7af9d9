// Finding VMs through the facade against the emulator's default world: by GUID with the cache (and
// what each search costs), by zone, region, project pattern and label, across projects and pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "emulator/ComputeModel.h"
#include "host/ZKVMGuidCache.h"
#include "tests/support/EmulatorFixture.h"
#include "tests/support/LogCapture.h"

namespace {

using namespace GoogleCloudSDKWrapper;
using testsupport::LogCapture;

const char kProject1[] = "gcemu-project-1";
const char kProject2[] = "gcemu-project-2";
const char kCompute[] = "compute.googleapis.com";

std::string InstanceKey(const std::string& project, const std::string& zone, const std::string& name) {
    return "projects/" + project + "/zones/" + zone + "/instances/" + name;
}

std::set<std::string> Names(const std::vector<SVMInfoLib>& vms) {
    std::set<std::string> names;
    for (const auto& vm : vms) names.insert(vm.name);
    return names;
}

class DiscoveryEmulatorTest : public testsupport::EmulatorTest {
protected:
    std::string Guid(const std::string& project, const std::string& zone, const std::string& name) {
        return WorldValue(gcemu::collections::kInstances, InstanceKey(project, zone, name), "id");
    }
    size_t InstanceLists() { return Requests("GET", kCompute, "/compute/v1/projects/"); }
    bool Cached(const std::string& guid, std::string& project, std::string& region, std::string& zone) {
        ZKVMGuidCache cache("_GOOGLECLOUD_GUID_CACHE_");
        return cache.Init() && cache.LookupGuidCache(guid, project, region, zone);
    }
};

TEST_F(DiscoveryEmulatorTest, AGuidIsScannedForOnceAndThenFoundWithOneRequest) {
    auto wrapper = Connected();
    const std::string guid = Guid(kProject1, "us-central1-b", "web-2");
    ASSERT_FALSE(guid.empty());

    std::string project, region, zone;
    SVMInfoLib vm;
    Emulator().journal().Clear();
    ASSERT_TRUE(wrapper->SearchInstance(guid, "", 0, project, region, zone, vm)) << wrapper->GetLastError();
    EXPECT_EQ(vm.name, "web-2");
    EXPECT_EQ(project, kProject1);
    EXPECT_EQ(region, "us-central1");
    EXPECT_EQ(zone, "us-central1-b");
    EXPECT_EQ(vm.projectId, kProject1);
    // The scan stops at the zone that holds the VM: project list, zone list, then one filtered list per
    // zone up to us-central1-b (europe-west4-a, europe-west4-b, us-central1-a, us-central1-b).
    EXPECT_EQ(Requests("GET", "cloudresourcemanager.googleapis.com"), 1u);
    EXPECT_EQ(Requests("GET", kCompute, "/compute/v1/projects/gcemu-project-1/zones/"), 4u);

    std::string cachedProject, cachedRegion, cachedZone;
    ASSERT_TRUE(Cached(guid, cachedProject, cachedRegion, cachedZone));
    EXPECT_EQ(cachedZone, "us-central1-b");

    Emulator().journal().Clear();
    SVMInfoLib again;
    ASSERT_TRUE(wrapper->SearchInstance(guid, "", 0, project, region, zone, again));
    EXPECT_EQ(again.name, "web-2");
    EXPECT_EQ(Emulator().journal().size(), 1u) << "a cache hit costs one zone-scoped request";
}

TEST_F(DiscoveryEmulatorTest, AScanAsksComputeEngineNotTheCacheAndCachesWhatItFinds) {
    auto wrapper = Connected();
    EXPECT_TRUE(wrapper->CheckConnection());
    const std::string guid = Guid(kProject1, "us-central1-b", "web-2");
    {
        // A wrong place in the cache does not mislead a scan.
        ZKVMGuidCache cache("_GOOGLECLOUD_GUID_CACHE_");
        ASSERT_TRUE(cache.Init());
        ASSERT_TRUE(cache.CacheGuid(guid, kProject2, "europe-west4", "europe-west4-a"));
    }
    std::string project, region, zone;
    SVMInfoLib vm;
    ASSERT_TRUE(wrapper->ScanInstanceByGuid(guid, 0, project, region, zone, vm)) << wrapper->GetLastError();
    EXPECT_EQ(vm.name, "web-2");
    EXPECT_EQ(project, kProject1);
    EXPECT_EQ(zone, "us-central1-b");
    std::string cachedProject, cachedRegion, cachedZone;
    ASSERT_TRUE(Cached(guid, cachedProject, cachedRegion, cachedZone));
    EXPECT_EQ(cachedProject, kProject1);
    EXPECT_EQ(cachedZone, "us-central1-b") << "the scan's finding replaces the wrong entry";
    EXPECT_FALSE(wrapper->ScanInstanceByGuid("1", 0, project, region, zone, vm));

    // Listed VMs go into the cache; an entry already there is kept.
    SVMInfoLib listed;
    listed.id = "424242";
    listed.projectId = kProject2;
    listed.region = "europe-west4";
    listed.zone = "europe-west4-b";
    SVMInfoLib moved = listed;
    moved.zone = "europe-west4-a";
    wrapper->LookupAndCacheGuid({listed});
    wrapper->LookupAndCacheGuid({moved});
    ASSERT_TRUE(Cached("424242", cachedProject, cachedRegion, cachedZone));
    EXPECT_EQ(cachedProject, kProject2);
    EXPECT_EQ(cachedRegion, "europe-west4");
    EXPECT_EQ(cachedZone, "europe-west4-b");
}

TEST_F(DiscoveryEmulatorTest, AStaleGuidIsReplacedWhenTheVmIsFoundByName) {
    auto wrapper = Connected();
    const std::string oldGuid = Guid(kProject1, "us-central1-a", "web-1");
    std::string project, region, zone;
    SVMInfoLib vm;
    ASSERT_TRUE(wrapper->SearchInstance(oldGuid, "web-1", 0, project, region, zone, vm));

    // The VM is recreated under the same name with a new GUID.
    {
        gcemu::World::Txn world = Emulator().world().Lock();
        (*world.Find(gcemu::collections::kInstances,
                     InstanceKey(kProject1, "us-central1-a", "web-1")))["id"] = "4242424242424242";
    }
    LogCapture capture;
    Emulator().journal().Clear();
    ASSERT_TRUE(wrapper->SearchInstance(oldGuid, "web-1", 0, project, region, zone, vm));
    EXPECT_EQ(vm.id, "4242424242424242");
    EXPECT_EQ(Emulator().journal().size(), 2u) << "the GUID, then the name, in the cached zone";
    EXPECT_TRUE(
        capture.Has(host::kLogDebug, "VM is not found using GUID. Searching for VM using Name [web-1]"));

    std::string p, r, z;
    EXPECT_FALSE(Cached(oldGuid, p, r, z));
    ASSERT_TRUE(Cached("4242424242424242", p, r, z));
    EXPECT_EQ(p + "/" + r + "/" + z, "gcemu-project-1/us-central1/us-central1-a");
}

TEST_F(DiscoveryEmulatorTest, AnUnknownGuidFailsWithItsLogLine) {
    auto wrapper = Connected();
    LogCapture capture;
    std::string project, region, zone;
    SVMInfoLib vm;
    EXPECT_FALSE(wrapper->SearchInstance("1", "", 0, project, region, zone, vm));
    EXPECT_TRUE(capture.Has(host::kLogError, "Did not find any instance with guid [1]."));
    EXPECT_FALSE(wrapper->SearchInstance("", "web-1", 0, project, region, zone, vm));

    // With a project and a zone, GetVMInfo asks that zone only and never the cache.
    Emulator().journal().Clear();
    EXPECT_TRUE(wrapper->GetVMInfo(kProject1, "web-1", "", "us-central1-a", vm, 0));
    EXPECT_EQ(Emulator().journal().size(), 1u);
    EXPECT_FALSE(wrapper->GetVMInfo("", "web-1", "", "", vm, 0)) << "no project, no zone and no GUID";
}

TEST_F(DiscoveryEmulatorTest, VmsOfSeveralProjectsKeepTheirOwnProjectIds) {
    auto wrapper = Connected();
    std::vector<SVMInfoLib> vms;
    LogCapture capture;
    ASSERT_TRUE(wrapper->GetVMInfoListInZone("", "us-central1-a", vms, 0));
    std::map<std::string, std::string> projectOf;
    for (const auto& vm : vms) projectOf[vm.name] = vm.projectId;
    EXPECT_EQ(projectOf["web-1"], kProject1);
    EXPECT_EQ(projectOf["api-1"], kProject2);
    EXPECT_EQ(projectOf["bastion-1"], "gcemu-host-project");
    EXPECT_EQ(vms.size(), projectOf.size()) << "no VM listed twice";
    EXPECT_TRUE(capture.Has(2, "No VM's found in zone [us-central1-a] for project [gcemu-empty-project]"));

    // Every VM returned is cached where it was found.
    std::string p, r, z;
    ASSERT_TRUE(Cached(Guid(kProject2, "us-central1-a", "api-1"), p, r, z));
    EXPECT_EQ(p, kProject2);
}

// Google refuses a list under a zone it does not know (400); the facade, spreading the call over
// projects, still answers with an empty list, and the refusal is left to read.
TEST_F(DiscoveryEmulatorTest, AMissingZoneIsAnEmptyAnswerWithGooglesRefusalLeft) {
    auto wrapper = Connected();
    std::vector<SVMInfoLib> vms;
    EXPECT_TRUE(wrapper->GetVMInfoListInZone(kProject1, "no-such-zone", vms, 0));
    EXPECT_TRUE(vms.empty());
    EXPECT_EQ(wrapper->GetLastErrorCode(), "400");
    EXPECT_EQ(wrapper->GetLastError(), "Invalid value for field 'zone': 'no-such-zone'. Unknown zone.");

    // The reads that name the zone report the refusal rather than an empty place.
    const struct {
        const char* what;
        std::function<bool(CGoogleCloudSDKWrapper&)> read;
    } reads[] = {
        {"machine types",
         [](CGoogleCloudSDKWrapper& w) {
             std::vector<SMachineTypeInfoLib> types;
             return w.GetMachineTypesInfoList(kProject1, "no-such-zone", types, 0);
         }},
        {"a disk",
         [](CGoogleCloudSDKWrapper& w) {
             SDiskInfoLib disk;
             return w.GetDiskInfo(kProject1, "web-1", "no-such-zone", "", false, disk, 0);
         }},
        {"a VM by name",
         [](CGoogleCloudSDKWrapper& w) {
             SVMInfoLib vm;
             return w.GetVMInfo(kProject1, "web-1", "", "no-such-zone", vm, 0);
         }},
    };
    for (const auto& r : reads) EXPECT_FALSE(r.read(*wrapper)) << r.what;
}

TEST_F(DiscoveryEmulatorTest, LabelsLiteralAndWildcard) {
    auto wrapper = Connected();
    std::vector<SVMInfoLib> literal;
    ASSERT_TRUE(wrapper->GetVMInfoListByLabel("", "app", "db", literal, 0));
    const std::set<std::string> databases{"db-1",     "db-2",     "win-sql-1",
                                          "api-db-1", "dev-eu-3", "dev-eu-win-1"};
    EXPECT_EQ(Names(literal), databases);

    // Patterns ignore case; a VM whose several labels match comes once.
    std::vector<SVMInfoLib> wildcard;
    ASSERT_TRUE(wrapper->GetVMInfoListByLabel("", "APP", "D?", wildcard, 0));
    EXPECT_EQ(Names(wildcard), databases);
    std::vector<SVMInfoLib> anyKey;
    ASSERT_TRUE(wrapper->GetVMInfoListByLabelRegEx(kProject1, "*", "d*", anyKey, 0));
    EXPECT_EQ(anyKey.size(), Names(anyKey).size());
    EXPECT_TRUE(Names(anyKey).count("web-dev-1")) << "env=dev";
    EXPECT_TRUE(Names(anyKey).count("db-2")) << "app=db";
}

TEST_F(DiscoveryEmulatorTest, ListsByRegionProjectPatternAndEverywhere) {
    auto wrapper = Connected();
    std::vector<SVMInfoLib> all, pattern, region;
    ASSERT_TRUE(wrapper->GetVMInfoList(all, 0));
    ASSERT_TRUE(wrapper->GetVMInfoListInProject("gcemu-*", pattern, 0));
    EXPECT_EQ(Names(all), Names(pattern));
    EXPECT_EQ(all.size(), 32u);
    std::vector<SVMInfoLib> none;
    ASSERT_TRUE(wrapper->GetVMInfoListInProject("nothing-*", none, 0));
    EXPECT_TRUE(none.empty());

    ASSERT_TRUE(wrapper->GetVMInfoListInRegion(kProject1, "europe-west4", "", region, 0));
    EXPECT_EQ(Names(region), (std::set<std::string>{"web-3", "win-sql-1", "batch-1", "unlabelled-1"}));
    std::vector<SVMInfoLib> missing;
    EXPECT_TRUE(wrapper->GetVMInfoListInRegion(kProject1, "mars-north1", "", missing, 0));
    EXPECT_TRUE(missing.empty());
}

TEST_F(DiscoveryEmulatorTest, OneVmByNameOrIdAndItsConfiguration) {
    auto wrapper = Connected();
    SVMInfoLib vm;
    EXPECT_TRUE(wrapper->DoesVMExist(kProject1, "db-2", "europe-west4-a", vm))
        << "the wrong zone is no obstacle";
    EXPECT_EQ(vm.zone, "us-central1-b");

    std::string byName, byId;
    ASSERT_TRUE(wrapper->GetInstanceConfigJson(kProject1, "router-1", "", "us-central1-a", byName));
    SVMInfoLib parsed;
    CGoogleCloudParser parser;
    ASSERT_TRUE(parser.ParseObject(byName, parsed));
    EXPECT_EQ(parsed.networkInterfaceCount, 2);
    ASSERT_TRUE(wrapper->GetInstanceConfigJson(kProject1, "", parsed.id, "us-central1-a", byId));
    EXPECT_NE(byId.find("\"name\":\"router-1\""), std::string::npos);
}

TEST_F(DiscoveryEmulatorTest, ZonesWithTheirVmsAndNetworksIncludingSharedVpc) {
    auto wrapper = Connected();
    SZoneInfoLib zone;
    ASSERT_TRUE(wrapper->GetZoneInfo(kProject2, "us-central1-a", "", zone,
                                     VM_PROP_HOST_NW_LIST | VM_PROP_HOST_VM_LIST));
    EXPECT_EQ(zone.region, "us-central1");
    EXPECT_EQ(Names(zone.vmList), (std::set<std::string>{"api-1", "api-db-1", "dev-1"}));
    std::map<std::string, std::vector<std::string>> subnetsOf;
    for (const auto& network : zone.networkList)
        for (const auto& subnet : network.subnetList) subnetsOf[network.name].push_back(subnet.name);
    ASSERT_TRUE(subnetsOf.count("shared-vpc")) << "the host project's shared network";
    EXPECT_EQ(subnetsOf["shared-vpc"], std::vector<std::string>{"shared-us"}) << "only the zone's region";

    // A zone no project has: true, with nothing in it.
    SZoneInfoLib nowhere;
    EXPECT_TRUE(wrapper->GetZoneInfo("", "mars-north1-a", "", nowhere, 0));
    EXPECT_TRUE(nowhere.region.empty());
}

class PagedDiscoveryTest : public testsupport::EmulatorTest {
public:
    static void SetUpTestSuite() {
        gcemu::EmulatorOptions options;
        options.pageSize = 2;
        StartEmulator(options);
    }
};

TEST_F(PagedDiscoveryTest, EveryPageOfEveryListIsRead) {
    auto wrapper = Connected();
    std::vector<SProjectInfoLib> projects;
    ASSERT_TRUE(wrapper->ListProjects(projects));
    EXPECT_EQ(projects.size(), 5u);

    Emulator().journal().Clear();
    std::vector<SVMInfoLib> vms;
    ASSERT_TRUE(wrapper->GetVMInfoListInZone(kProject1, "us-central1-a", vms, 0));
    EXPECT_EQ(Names(vms), (std::set<std::string>{"web-1", "db-1", "win-app-1", "router-1", "tenant-1"}));
    auto journal = Emulator().journal().Snapshot();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0].params.count("pageToken"), 0u);
    EXPECT_EQ(journal[2].params.count("pageToken"), 1u);

    // The GUID search follows the pages of each filtered zone list too.
    SVMInfoLib vm;
    std::string project, region, zone;
    ASSERT_TRUE(wrapper->SearchInstance(vms.back().id, "", 0, project, region, zone, vm));
    EXPECT_EQ(vm.name, vms.back().name);
}

}  // namespace
