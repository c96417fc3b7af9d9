// gcemu's Compute Engine and Resource Manager read model over real TLS: resource shapes, 404s, empty
// lists, paging, shared VPC, world files and the built-in world.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/ComputeModel.h"
#include "emulator/Emulator.h"
#include "host/ZkJson.h"
#include "tests/emulator/EmulatorClient.h"
#include "tests/support/TempDir.h"

namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

using emutest::Client;
using emutest::ExpectComputeError;
using emutest::kCompute;
using emutest::Obj;
using emutest::Reply;
using emutest::Text;

constexpr char kBase[] = "https://www.googleapis.com/compute/v1/";
constexpr char kP1[] = "/compute/v1/projects/gcemu-project-1/";

class ComputeReadModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_client = new Client(); }
    static void TearDownTestSuite() { delete s_client; }
    static Client& client() { return *s_client; }
    static Client* s_client;
};

Client* ComputeReadModelTest::s_client = nullptr;

TEST_F(ComputeReadModelTest, ResourcesHaveGoogleShapeOnBothHosts) {
    struct Case {
        std::string path;
        const char* kind;
    };
    const std::string p1 = kP1;
    const Case cases[] = {
        {p1 + "zones/us-central1-a", "compute#zone"},
        {p1 + "regions/europe-west4", "compute#region"},
        {p1 + "zones/us-central1-a/instances/web-1", "compute#instance"},
        {p1 + "zones/us-central1-a/disks/web-1", "compute#disk"},
        {p1 + "regions/us-central1/disks/db-ha-data", "compute#disk"},
        {p1 + "zones/us-central1-b/machineTypes/n2-standard-4", "compute#machineType"},
        {p1 + "zones/us-central1-b/diskTypes/pd-ssd", "compute#diskType"},
        {p1 + "regions/us-central1/diskTypes/pd-balanced", "compute#diskType"},
        {p1 + "global/networks/prod-vpc", "compute#network"},
        {p1 + "regions/us-central1/subnetworks/prod-us", "compute#subnetwork"},
        {p1 + "global/images/golden-web", "compute#image"},
        {p1 + "global/snapshots/web-1-daily-20240401", "compute#snapshot"},
        {p1 + "zones/us-central1-a/nodeGroups/sole-tenant-group", "compute#nodeGroup"},
        {"/compute/v1/projects/windows-cloud/global/licenses/windows-server-2022-dc", "compute#license"},
        {"/compute/v1/projects/ubuntu-os-cloud/global/images/ubuntu-2204-jammy-v20240319", "compute#image"},
    };
    for (const Case& c : cases) {
        for (const char* host : {kCompute, "www.googleapis.com"}) {
            SCOPED_TRACE(c.path + " on " + host);
            const Reply reply = client().Get(c.path, host);
            ASSERT_EQ(200, reply.status) << reply.text;
            EXPECT_EQ(c.kind, Text(reply.body, "kind"));
            EXPECT_EQ("https://www.googleapis.com" + c.path, Text(reply.body, "selfLink"));
            EXPECT_EQ(c.path.substr(c.path.rfind('/') + 1), Text(reply.body, "name"));
            const std::string id = Text(reply.body, "id");
            EXPECT_FALSE(id.empty());
            EXPECT_EQ(std::string::npos, id.find_first_not_of("0123456789")) << id;
        }
    }
}

TEST_F(ComputeReadModelTest, InstanceCarriesItsDisksInterfacesAndSettings) {
    const mObject web = client().Get(std::string(kP1) + "zones/us-central1-a/instances/web-1").body;
    const std::string zone = std::string(kBase) + "projects/gcemu-project-1/zones/us-central1-a";
    EXPECT_EQ(zone, Text(web, "zone"));
    EXPECT_EQ(zone + "/machineTypes/e2-standard-2", Text(web, "machineType"));
    EXPECT_EQ("RUNNING", Text(web, "status"));
    EXPECT_EQ("daily", Text(Obj(web, "labels"), "backup"));
    EXPECT_FALSE(Text(web, "labelFingerprint").empty());
    const mArray& disks = web.at("disks").get_array();
    ASSERT_EQ(2u, disks.size());
    const mObject& boot = disks[0].get_obj();
    EXPECT_EQ("compute#attachedDisk", Text(boot, "kind"));
    EXPECT_EQ(zone + "/disks/web-1", Text(boot, "source"));
    EXPECT_TRUE(boot.at("boot").get_bool());
    EXPECT_TRUE(boot.at("autoDelete").get_bool());
    EXPECT_EQ("READ_WRITE", Text(boot, "mode"));
    EXPECT_EQ("SCSI", Text(boot, "interface"));
    EXPECT_EQ("20", Text(boot, "diskSizeGb"));
    EXPECT_EQ(std::string(kBase) + "projects/ubuntu-os-cloud/global/licenses/ubuntu-2204-lts",
              boot.at("licenses").get_array().at(0).get_str());
    EXPECT_TRUE(gcemu::HasGuestOsFeature(boot, "UEFI_COMPATIBLE"));
    const mObject& data = disks[1].get_obj();
    EXPECT_EQ("data", Text(data, "deviceName"));
    EXPECT_FALSE(data.at("boot").get_bool());
    EXPECT_FALSE(data.at("autoDelete").get_bool());
    EXPECT_EQ(1, data.at("index").get_int());
    const mObject& nic = web.at("networkInterfaces").get_array().at(0).get_obj();
    EXPECT_EQ(std::string(kBase) + "projects/gcemu-project-1/global/networks/default", Text(nic, "network"));
    EXPECT_EQ(std::string(kBase) + "projects/gcemu-project-1/regions/us-central1/subnetworks/default",
              Text(nic, "subnetwork"));
    EXPECT_EQ(0u, Text(nic, "networkIP").rfind("10.128.0.", 0)) << Text(nic, "networkIP");
    EXPECT_EQ("34.70.10.1", Text(nic.at("accessConfigs").get_array().at(0).get_obj(), "natIP"));
    EXPECT_EQ("#!/bin/bash\napt-get -y install nginx",
              Text(Obj(web, "metadata").at("items").get_array().at(0).get_obj(), "value"));
    EXPECT_EQ(2u, Obj(web, "tags").at("items").get_array().size());
    EXPECT_EQ("100000000001-compute@developer.gserviceaccount.com",
              Text(web.at("serviceAccounts").get_array().at(0).get_obj(), "email"));

    const mObject router = client().Get(std::string(kP1) + "zones/us-central1-a/instances/router-1").body;
    const mArray& nics = router.at("networkInterfaces").get_array();
    ASSERT_EQ(2u, nics.size());
    EXPECT_EQ("nic1", Text(nics[1].get_obj(), "name"));
    EXPECT_EQ(std::string(kBase) + "projects/gcemu-project-1/regions/us-central1/subnetworks/prod-us",
              Text(nics[1].get_obj(), "subnetwork"));
    EXPECT_EQ("10.10.0.2", Text(nics[1].get_obj(), "networkIP"));  // db-1 and db-2 hold .10 and .11

    const mObject tenant = client().Get(std::string(kP1) + "zones/us-central1-a/instances/tenant-1").body;
    const mObject& affinity = Obj(tenant, "scheduling").at("nodeAffinities").get_array().at(0).get_obj();
    EXPECT_EQ("compute.googleapis.com/node-group-name", Text(affinity, "key"));
    EXPECT_EQ("sole-tenant-group", affinity.at("values").get_array().at(0).get_str());

    const mObject secure = client().Get(std::string(kP1) + "zones/us-central1-b/instances/secure-1").body;
    EXPECT_TRUE(Obj(secure, "shieldedInstanceConfig").at("enableSecureBoot").get_bool());
    const mObject windows = client().Get(std::string(kP1) + "zones/europe-west4-b/instances/win-sql-1").body;
    EXPECT_FALSE(windows.count("shieldedInstanceConfig"));  // a BIOS image
    EXPECT_EQ(std::string(kBase) + "projects/windows-cloud/global/licenses/windows-server-2019-dc",
              windows.at("disks").get_array().at(0).get_obj().at("licenses").get_array().at(0).get_str());
}

TEST_F(ComputeReadModelTest, DisksCarryTypeUsersReplicasAndKeys) {
    const std::string p1 = std::string(kBase) + "projects/gcemu-project-1/";
    const mObject boot = client().Get(std::string(kP1) + "zones/us-central1-a/disks/web-1").body;
    EXPECT_EQ("20", Text(boot, "sizeGb"));
    EXPECT_EQ(p1 + "zones/us-central1-a/diskTypes/pd-balanced", Text(boot, "type"));
    EXPECT_EQ(mArray{p1 + "zones/us-central1-a/instances/web-1"}, boot.at("users").get_array());
    EXPECT_EQ(std::string(kBase) + "projects/ubuntu-os-cloud/global/images/ubuntu-2204-jammy-v20240319",
              Text(boot, "sourceImage"));  // the family's newest image

    const mObject regional = client().Get(std::string(kP1) + "regions/us-central1/disks/db-ha-data").body;
    EXPECT_EQ((mArray{p1 + "zones/us-central1-a", p1 + "zones/us-central1-b"}),
              regional.at("replicaZones").get_array());
    EXPECT_EQ(p1 + "regions/us-central1", Text(regional, "region"));
    EXPECT_FALSE(regional.count("zone"));
    EXPECT_EQ(p1 + "regions/us-central1/diskTypes/pd-balanced", Text(regional, "type"));
    EXPECT_EQ(mArray{p1 + "zones/us-central1-a/instances/db-1"}, regional.at("users").get_array());

    const mObject cmek = client().Get(std::string(kP1) + "zones/us-central1-b/disks/vault-data").body;
    EXPECT_EQ(
        "projects/gcemu-project-1/locations/us-central1/keyRings/gcemu-ring/cryptoKeys/disk-key/"
        "cryptoKeyVersions/1",
        Text(Obj(cmek, "diskEncryptionKey"), "kmsKeyName"));

    const mObject shared = client().Get(std::string(kP1) + "zones/us-central1-c/disks/shared-ro-data").body;
    EXPECT_EQ(2u, shared.at("users").get_array().size());
    const mObject spare = client().Get(std::string(kP1) + "zones/europe-west4-a/disks/spare-disk").body;
    EXPECT_FALSE(spare.count("users"));
    EXPECT_EQ("500", Text(spare, "sizeGb"));  // pd-standard's default size
}

TEST_F(ComputeReadModelTest, UnknownResourcesAndParentsAnswerComputeNotFound) {
    struct Case {
        std::string path;
        std::string missing;
    };
    const Case cases[] = {
        {"/compute/v1/projects/gcemu-project-1/zones/us-central1-a/instances/nope",
         "projects/gcemu-project-1/zones/us-central1-a/instances/nope"},
        {"/compute/v1/projects/gcemu-project-1/zones/us-central1-a/instances/web-2",  // in another zone
         "projects/gcemu-project-1/zones/us-central1-a/instances/web-2"},
        {"/compute/v1/projects/no-such-project/zones/us-central1-a/instances", "projects/no-such-project"},
        {"/compute/v1/projects/gcemu-project-1/zones/mars-north1-a",  // under it: 400, Unknown zone
         "projects/gcemu-project-1/zones/mars-north1-a"},
        {"/compute/v1/projects/gcemu-project-1/regions/us-central1/disks/web-1",
         "projects/gcemu-project-1/regions/us-central1/disks/web-1"},
        {"/compute/v1/projects/gcemu-project-1/global/snapshots/nope",
         "projects/gcemu-project-1/global/snapshots/nope"},
        {"/compute/v1/projects/windows-cloud/zones", "projects/windows-cloud"},  // publishes images only
        {"/compute/v1/projects/no-such-project/getXpnHost", "projects/no-such-project"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ExpectComputeError(client().Get(c.path), 404, "The resource '" + c.missing + "' was not found",
                           "notFound");
    }
    const Reply project = client().Get("/v1/projects/windows-cloud", "cloudresourcemanager.googleapis.com");
    EXPECT_EQ(403, project.status) << project.text;  // Resource Manager hides what the caller may not see
}

TEST_F(ComputeReadModelTest, EmptyListsLeaveItemsOut) {
    struct Case {
        std::string path;
        const char* kind;
    };
    const Case cases[] = {
        {"/compute/v1/projects/gcemu-empty-project/zones/us-central1-a/instances", "compute#instanceList"},
        {"/compute/v1/projects/gcemu-empty-project/global/networks", "compute#networkList"},
        {"/compute/v1/projects/gcemu-host-project/global/snapshots", "compute#snapshotList"},
        {"/compute/v1/projects/gcemu-project-1/zones/us-central1-a/instances?filter=name%20eq%20nope",
         "compute#instanceList"},
        {"/compute/v1/projects/gcemu-project-1/global/licenses", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Reply reply = client().Get(c.path);
        ASSERT_EQ(200, reply.status) << reply.text;
        EXPECT_FALSE(reply.body.count("items")) << reply.text;
        EXPECT_FALSE(reply.body.count("nextPageToken"));
        const std::string list = c.path.substr(std::string("/compute/v1/").size(), c.path.find('?') - 12);
        EXPECT_EQ(list, Text(reply.body, "id"));
        EXPECT_EQ(std::string(kBase) + list, Text(reply.body, "selfLink"));
        EXPECT_EQ(c.kind ? c.kind : "", Text(reply.body, "kind"));
    }
}

TEST(ComputePagingTest, PagesCoverEveryItemOnceWithOpaqueTokens) {
    gcemu::Emulator::Options options;
    options.pageSize = 2;
    Client paged(options);
    const std::string list = std::string(kP1) + "zones/us-central1-a/instances";
    std::vector<std::string> seen;
    std::vector<std::string> tokens;
    std::string next;
    for (int page = 0; page < 10; ++page) {
        const Reply reply = paged.Get(list + (next.empty() ? "" : "?pageToken=" + next));
        ASSERT_EQ(200, reply.status) << reply.text;
        for (const mValue& item : reply.body.at("items").get_array())
            seen.push_back(Text(item.get_obj(), "name"));
        next = Text(reply.body, "nextPageToken");
        if (next.empty()) break;
        tokens.push_back(next);
    }
    EXPECT_EQ((std::vector<std::string>{"db-1", "router-1", "tenant-1", "web-1", "win-app-1"}), seen);
    ASSERT_EQ(2u, tokens.size());  // three pages
    for (const std::string& token : tokens) {
        EXPECT_EQ(std::string::npos, token.find("instances")) << token;
        EXPECT_EQ(std::string::npos, token.find_first_not_of(
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"));
    }

    // Paging from a key keeps the rest exactly once when items go between pages.
    const Reply first = paged.Get(list + "?maxResults=1");
    ASSERT_EQ(1u, first.body.at("items").get_array().size());
    paged.emulator().world().Lock().Erase(gcemu::collections::kInstances,
                                          "projects/gcemu-project-1/zones/us-central1-a/instances/router-1");
    EXPECT_EQ((std::vector<std::string>{"tenant-1", "web-1"}),
              paged.Names(list + "?pageToken=" + Text(first.body, "nextPageToken")));
    paged.emulator().ResetWorld();

    struct Bad {
        std::string path;
        const char* field;
    };
    const Bad bad[] = {
        {list + "?pageToken=bm90LWEtdG9rZW4", "pageToken"},
        {list + "?pageToken=" + tokens[0] + "&filter=name%20eq%20web-1", "pageToken"},  // another filter
        {std::string(kP1) + "zones/us-central1-b/instances?pageToken=" + tokens[0],
         "pageToken"},  // another list
        {list + "?maxResults=501", "maxResults"},
        {list + "?maxResults=-1", "maxResults"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.path);
        const Reply reply = paged.Get(b.path);
        EXPECT_EQ(400, reply.status);
        EXPECT_EQ(0u, Text(Obj(reply.body, "error"), "message")
                          .rfind(std::string("Invalid value for field '") + b.field, 0))
            << reply.text;
    }

    std::vector<std::string> projects;
    for (std::string token;;) {
        const Reply reply = paged.Get("/v1/projects" + (token.empty() ? "" : "?pageToken=" + token),
                                      "cloudresourcemanager.googleapis.com");
        ASSERT_EQ(200, reply.status) << reply.text;
        for (const mValue& project : reply.body.at("projects").get_array())
            projects.push_back(Text(project.get_obj(), "projectId"));
        token = Text(reply.body, "nextPageToken");
        if (token.empty()) break;
    }
    EXPECT_EQ(5u, projects.size());
    EXPECT_EQ(5u, std::set<std::string>(projects.begin(), projects.end()).size());
}

TEST_F(ComputeReadModelTest, SharedVpcHostAndUsableSubnetworks) {
    const Reply host = client().Get("/compute/v1/projects/gcemu-project-2/getXpnHost");
    ASSERT_EQ(200, host.status) << host.text;
    EXPECT_EQ("compute#project", Text(host.body, "kind"));
    EXPECT_EQ("gcemu-host-project", Text(host.body, "name"));
    EXPECT_EQ("HOST", Text(host.body, "xpnProjectStatus"));
    const Reply none = client().Get("/compute/v1/projects/gcemu-project-1/getXpnHost");
    EXPECT_EQ(200, none.status);
    EXPECT_TRUE(none.body.empty()) << none.text;

    const Reply usable =
        client().Get("/compute/v1/projects/gcemu-host-project/aggregated/subnetworks/listUsable");
    ASSERT_EQ(200, usable.status) << usable.text;
    EXPECT_EQ("compute#usableSubnetworksAggregatedList", Text(usable.body, "kind"));
    const std::string host3 = std::string(kBase) + "projects/gcemu-host-project/";
    std::vector<std::string> subnets;
    for (const mValue& item : usable.body.at("items").get_array()) {
        subnets.push_back(Text(item.get_obj(), "subnetwork"));
        EXPECT_EQ(host3 + "global/networks/shared-vpc", Text(item.get_obj(), "network"));
        EXPECT_FALSE(Text(item.get_obj(), "ipCidrRange").empty());
    }
    EXPECT_EQ((std::vector<std::string>{host3 + "regions/europe-west4/subnetworks/shared-eu",
                                        host3 + "regions/us-central1/subnetworks/shared-us"}),
              subnets);  // host-mgmt is not shared

    const mObject api =
        client().Get("/compute/v1/projects/gcemu-project-2/zones/us-central1-a/instances/api-1").body;
    const mObject& nic = api.at("networkInterfaces").get_array().at(0).get_obj();
    EXPECT_EQ(host3 + "global/networks/shared-vpc", Text(nic, "network"));
    EXPECT_EQ(0u, Text(nic, "networkIP").rfind("10.100.0.", 0)) << Text(nic, "networkIP");
}

TEST_F(ComputeReadModelTest, ResourceManagerListsTheWorldsProjects) {
    const char* rm = "cloudresourcemanager.googleapis.com";
    const Reply list = client().Get("/v1/projects", rm);
    ASSERT_EQ(5u, list.body.at("projects").get_array().size()) << list.text;
    for (const mValue& value : list.body.at("projects").get_array()) {
        const mObject& project = value.get_obj();
        SCOPED_TRACE(Text(project, "projectId"));
        EXPECT_EQ("ACTIVE", Text(project, "lifecycleState"));
        EXPECT_EQ(12u, Text(project, "projectNumber").size());
        EXPECT_FALSE(Text(Obj(project, "parent"), "type").empty());
        EXPECT_NE(std::string::npos, Text(project, "projectId").find("gcemu-"));  // no image publishers
    }
    const Reply one = client().Get("/v1/projects/gcemu-project-2", rm);
    ASSERT_EQ(200, one.status);
    EXPECT_EQ("folder", Text(Obj(one.body, "parent"), "type"));
    EXPECT_EQ("200000000000", Text(Obj(one.body, "parent"), "id"));

    struct Case {
        const char* filter;
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {"labels.env:dev", {"gcemu-dev-project"}},
        {"parent.type:folder", {"gcemu-dev-project", "gcemu-project-2"}},
        {"id:gcemu-project-*", {"gcemu-project-1", "gcemu-project-2"}},
        {"labels.role:* labels.env:dev", {"gcemu-dev-project", "gcemu-host-project"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        std::vector<std::string> ids;
        std::string query;
        for (const char* at = c.filter; *at; ++at)
            query += *at == ' ' ? "%20" : *at == ':' ? "%3A" : std::string(1, *at);
        const Reply reply = client().Get("/v1/projects?filter=" + query, rm);
        for (const mValue& value : reply.body.at("projects").get_array())
            ids.push_back(Text(value.get_obj(), "projectId"));
        EXPECT_EQ(c.ids, ids);
    }
    EXPECT_EQ(400, client().Get("/v1/projects?filter=owner:me", rm).status);
}

TEST_F(ComputeReadModelTest, PublicImageProjectsPublishLicensesAndFamilies) {
    const std::vector<std::string> windows =
        client().Names("/compute/v1/projects/windows-cloud/global/licenses");
    EXPECT_EQ(
        (std::vector<std::string>{"windows-2008-r2-dc", "windows-server-2019-dc", "windows-server-2022-dc"}),
        windows);
    for (const char* project :
         {"rhel-cloud", "suse-cloud", "ubuntu-os-cloud", "centos-cloud", "fedora-cloud"}) {
        SCOPED_TRACE(project);
        EXPECT_FALSE(
            client().Names(std::string("/compute/v1/projects/") + project + "/global/licenses").empty());
    }
    const Reply family = client().Get("/compute/v1/projects/windows-cloud/global/images/family/windows-2022");
    EXPECT_EQ("windows-server-2022-dc-v20240213", Text(family.body, "name"));  // not the deprecated one
    const mObject golden = client().Get(std::string(kP1) + "global/images/golden-web").body;
    EXPECT_EQ(std::string(kBase) + "projects/gcemu-project-1/zones/us-central1-a/disks/web-1",
              Text(golden, "sourceDisk"));
    EXPECT_EQ("20", Text(golden, "diskSizeGb"));
    EXPECT_EQ(1u, golden.at("licenses").get_array().size());  // from the disk it was made of
}

// The built-in world is whole: what instances and disks name exists, ids are unique and the same in
// every run.
TEST_F(ComputeReadModelTest, DefaultWorldIsConsistentAndStable) {
    gcemu::World::Txn world = client().emulator().world().Lock();
    const auto projects = gcemu::SeedProjects(world);
    ASSERT_GE(projects.size(), 3u);
    EXPECT_EQ("gcemu-project-1", projects[0].first);
    EXPECT_EQ("gcemu-project-2", projects[1].first);
    const auto instances = world.List(gcemu::collections::kInstances);
    EXPECT_GE(instances.size(), 30u);
    std::set<std::string> ids;
    size_t resources = 0;
    for (const char* collection :
         {gcemu::collections::kInstances, gcemu::collections::kDisks, gcemu::collections::kSnapshots,
          gcemu::collections::kImages, gcemu::collections::kNetworks, gcemu::collections::kSubnetworks}) {
        for (const auto& [key, resource] : world.List(collection)) {
            ids.insert(Text(*resource, "id"));
            ++resources;
            EXPECT_EQ(std::string(kBase) + key, Text(*resource, "selfLink"));
        }
    }
    EXPECT_EQ(resources, ids.size()) << "ids are unique";
    std::set<std::string> oses;
    for (const auto& [key, instance] : instances) {
        SCOPED_TRACE(key);
        for (const mValue& value : instance->at("disks").get_array()) {
            const mObject& attached = value.get_obj();
            if (Text(attached, "type") == "SCRATCH") continue;
            const mObject* disk =
                world.Find(gcemu::collections::kDisks, gcemu::RelativeName(Text(attached, "source")));
            ASSERT_NE(nullptr, disk) << Text(attached, "source");
            const mArray& users = disk->at("users").get_array();
            EXPECT_NE(users.end(),
                      std::find(users.begin(), users.end(), mValue(Text(*instance, "selfLink"))));
            if (const mArray* licenses = ZkJson::FindArray(attached, "licenses")) {
                for (const mValue& license : *licenses) {
                    EXPECT_NE(nullptr, world.Find(gcemu::collections::kLicenses,
                                                  gcemu::RelativeName(license.get_str())));
                    oses.insert(gcemu::Segments(gcemu::RelativeName(license.get_str()))[1]);
                }
            }
        }
        for (const mValue& value : instance->at("networkInterfaces").get_array()) {
            EXPECT_NE(nullptr, world.Find(gcemu::collections::kNetworks,
                                          gcemu::RelativeName(Text(value.get_obj(), "network"))));
            const std::string subnet = Text(value.get_obj(), "subnetwork");
            if (!subnet.empty()) {
                EXPECT_NE(nullptr, world.Find(gcemu::collections::kSubnetworks, gcemu::RelativeName(subnet)));
            }
        }
    }
    EXPECT_TRUE(oses.count("windows-cloud") && oses.count("ubuntu-os-cloud")) << oses.size();

    // Another emulator from the same world gives every resource the same id.
    gcemu::Emulator again;
    gcemu::World::Txn other = again.world().Lock();
    for (const auto& [key, instance] : instances)
        EXPECT_EQ(Text(*instance, "id"), Text(*other.Find(gcemu::collections::kInstances, key), "id")) << key;
}

// A hand-written world: short entries, the built-in catalog, and errors that name the faulty entry.
TEST(ComputeWorldFileTest, ShortWorldsLoadAndFaultsAreNamed) {
    const testsupport::TempDir dir;
    const std::string project =
        R"("projectId": "p", "networks": [{"name": "default"}, {"name": "vpc", "mode": "custom"}],
        "subnetworks": [{"name": "s", "region": "us-central1", "network": "vpc", "ipCidrRange": "10.9.0.0/24"}])";
    const std::string vm =
        R"("name": "vm1", "zone": "us-central1-a", "bootDisk": {"sourceImage": "projects/debian-cloud/global/images/family/debian-12"})";
    gcemu::Emulator::Options options;
    options.stateDir = dir.File("state");
    options.worldFile =
        dir.Write("short.json", R"({"projects": [{)" + project +
                                    R"(, "regions": ["us-central1"], "instances": [{)" + vm + "}]}]}");
    {
        gcemu::Emulator emulator(options);
        gcemu::World::Txn world = emulator.world().Lock();
        const mObject* instance =
            world.Find(gcemu::collections::kInstances, "projects/p/zones/us-central1-a/instances/vm1");
        ASSERT_NE(nullptr, instance);
        EXPECT_EQ("10.128.0.2",
                  Text(instance->at("networkInterfaces").get_array().at(0).get_obj(), "networkIP"));
        EXPECT_NE(nullptr,
                  world.Find(gcemu::collections::kDisks, "projects/p/zones/us-central1-a/disks/vm1"));
        EXPECT_EQ(nullptr, world.Find(gcemu::collections::kZones, "projects/p/zones/europe-west4-a"));
        EXPECT_NE(nullptr, world.Find(gcemu::collections::kLicenses,
                                      "projects/windows-cloud/global/licenses/windows-server-2019-dc"));
    }

    struct Case {
        std::string instance;  // members of p's one instance
        std::string extra;     // more members of project p
        std::string message;
    };
    const Case cases[] = {
        {vm + R"(, "disks": ["nope"])", "",
         "world: project p: instances[0] (vm1): disk nope is neither in us-central1-a nor in us-central1"},
        {vm + R"(, "dsks": ["nope"])", "", "instances[0] (vm1): unknown member 'dsks'"},
        {vm + R"(, "networkInterfaces": [{"network": "vpc"}])", "", "name the subnetwork"},
        {vm +
             R"(, "networkInterfaces": [{"subnetwork": "projects/other/regions/us-central1/subnetworks/s"}])",
         "", "is not in the world"},
        {vm + R"(, "status": "SLEEPING")", "", "status SLEEPING is not an instance status"},
        {vm + R"(, "machineType": "m9-huge")", "", "machine type m9-huge is not in us-central1-a"},
        {R"("name": "vm1", "zone": "us-central1-a", "shieldedInstanceConfig": {},
            "bootDisk": {"sourceImage": "projects/centos-cloud/global/images/family/centos-7"})",
         "", "shielded instance needs a UEFI_COMPATIBLE boot disk"},
        {vm + R"(, "nodeGroup": "g")", "", "node group g is not in us-central1-a"},
        {R"("name": "vm1", "zone": "us-central1-a", "bootDisk": {"sourceImage": "family/none"})", "",
         "sourceImage family/none is not in the world"},
        {vm + R"(, "networkInterfaces": [{"subnetwork": "s", "networkIP": "10.1.0.5"}])", "",
         "networkIP 10.1.0.5 is not an address of 10.9.0.0/24"},
        {vm, R"("disks": [{"name": "d", "region": "us-central1", "replicaZones": ["us-central1-a"]}])",
         "a regional disk needs two replicaZones"},
        {vm, R"("disks": [{"name": "d", "zone": "asia-east1-a"}])",
         "projects/p/zones/asia-east1-a is not among the project's locations"},
        {vm, R"("disks": [{"name": "vm1", "zone": "us-central1-a"}])",
         "projects/p/zones/us-central1-a/disks/vm1 is in the world twice"},
        {vm +
             R"(, "disks": ["d"]}, {"name": "vm2", "zone": "us-central1-a", "disks": [{"name": "d", "mode": "READ_ONLY"}])",
         R"("disks": [{"name": "d", "zone": "us-central1-a"}])",
         "disk d is attached read-write to another instance"},
        {vm + R"(, "disks": ["d", "d"])", R"("disks": [{"name": "d", "zone": "us-central1-a"}])",
         "disk d is attached twice"},
        {vm, R"("regions": ["mars-north1"])", "region mars-north1 is not in the location catalog"},
        {vm, R"("sharedVpc": {"serviceProjects": ["nobody"]})",
         "service project nobody is not another project of the world"},
        {vm, R"("snapshots": [{"name": "x", "sourceDisk": "zones/us-central1-a/disks/gone"}])",
         "needs diskSizeGb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        options.worldFile =
            dir.Write("bad.json", R"({"projects": [{)" + project + (c.extra.empty() ? "" : ", " + c.extra) +
                                      R"(, "instances": [{)" + c.instance + "}]}]}");
        try {
            gcemu::Emulator emulator(options);
            ADD_FAILURE() << "the world loaded";
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string::npos, std::string(error.what()).find(c.message)) << error.what();
        }
    }
}

}  // namespace
