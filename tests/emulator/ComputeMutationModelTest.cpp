// gcemu's Compute Engine mutations over real TLS: operations and the polls they take, the effect of each
// change on the world, injected and natural operation failures, Google's synchronous refusals, and the
// world reset.
#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/ComputeOperations.h"
#include "emulator/Emulator.h"
#include "host/ZkJson.h"
#include "tests/emulator/EmulatorClient.h"
#include "tests/support/TempDir.h"

namespace {

using emutest::Client;
using emutest::ExpectComputeError;
using emutest::Obj;
using emutest::Reply;
using emutest::Text;
using gcemu::OperationFault;
using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

constexpr char kP1[] = "/compute/v1/projects/gcemu-project-1/";
const std::string kZoneA = std::string(kP1) + "zones/us-central1-a/";

std::string Url(const std::string& path) {
    return "https://www.googleapis.com" + path;
}

// The operation's error codes and messages, "CODE: message" each.
std::vector<std::string> Errors(const mObject& operation) {
    std::vector<std::string> errors;
    if (!operation.count("error")) return errors;
    for (const mValue& error : Obj(operation, "error").at("errors").get_array())
        errors.push_back(Text(error.get_obj(), "code") + ": " + Text(error.get_obj(), "message"));
    return errors;
}

std::vector<std::string> Users(const mObject& disk) {
    std::vector<std::string> users;
    if (const mArray* links = ZkJson::FindArray(disk, "users"))
        for (const mValue& link : *links) users.push_back(link.get_str());
    return users;
}

class ComputeMutationModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_client = new Client(); }
    static void TearDownTestSuite() { delete s_client; }
    void SetUp() override { emulator().ResetWorld(); }

    static Client& client() { return *s_client; }
    static gcemu::Emulator& emulator() { return s_client->emulator(); }

    // The request's operation, polled through its selfLink until DONE.
    static mObject Done(const Reply& reply, Client& via = client()) {
        EXPECT_EQ(200, reply.status) << reply.text;
        mObject operation = reply.body;
        for (int polls = 0; Text(operation, "status") != "DONE" && polls < 10; ++polls)
            operation = via.GetUrl(Text(operation, "selfLink")).body;
        EXPECT_EQ("DONE", Text(operation, "status")) << ZkJson::Serialize(operation);
        return operation;
    }
    static mObject DoneWithoutError(const Reply& reply) {
        const mObject operation = Done(reply);
        EXPECT_TRUE(Errors(operation).empty()) << ZkJson::Serialize(operation);
        return operation;
    }

    // An item's status as a list shows it: lists do not move operations.
    static std::string ListedStatus(const std::string& list, const std::string& name) {
        const Reply reply = client().Get(list);
        if (const mArray* items = ZkJson::FindArray(reply.body, "items")) {
            for (const mValue& item : *items)
                if (Text(item.get_obj(), "name") == name) return Text(item.get_obj(), "status");
        }
        return "(not listed)";
    }

    static mObject InsertBody(const std::string& name, const std::string& extraJson = "") {
        mObject body;
        ZkJson::Unserialize(R"({"name": ")" + name + R"(", "zone": "us-central1-a",
            "machineType": "zones/us-central1-a/machineTypes/e2-standard-2",
            "disks": [{"boot": true, "autoDelete": true,
                       "initializeParams": {"sourceImage": "projects/ubuntu-os-cloud/global/images/family/ubuntu-2204-lts"}}],
            "networkInterfaces": [{"network": "global/networks/default"}])" +
                                extraJson + "}",
                            body);
        return body;
    }

    static Client* s_client;
};

Client* ComputeMutationModelTest::s_client = nullptr;

TEST_F(ComputeMutationModelTest, OperationsGoPendingRunningDoneOverTheChosenPolls) {
    const std::regex name("operation-[0-9]+-[0-9a-f]{13}-[0-9a-f]{8}-[0-9a-f]{8}");
    for (int polls : {0, 1, 2, 4}) {
        SCOPED_TRACE("polls " + std::to_string(polls));
        emulator().operations().SetPollsUntilDone(polls);
        const std::string snapshot = "snap-" + std::to_string(polls);
        const Reply reply = client().Post(kZoneA + "disks/web-data-1/createSnapshot?guestFlush=true",
                                          mObject{{"name", snapshot}, {"labels", mObject{{"k", "v"}}}});
        ASSERT_EQ(200, reply.status) << reply.text;
        mObject operation = reply.body;
        EXPECT_EQ(polls == 0 ? "DONE" : "PENDING", Text(operation, "status"));
        for (int poll = 1; poll <= polls; ++poll) {
            operation = client().GetUrl(Text(operation, "selfLink")).body;
            EXPECT_EQ(poll == polls ? "DONE" : "RUNNING", Text(operation, "status")) << "poll " << poll;
        }
        EXPECT_EQ("compute#operation", Text(operation, "kind"));
        EXPECT_TRUE(std::regex_match(Text(operation, "name"), name)) << Text(operation, "name");
        EXPECT_EQ("createSnapshot", Text(operation, "operationType"));
        EXPECT_EQ(Url(kZoneA + "disks/web-data-1"), Text(operation, "targetLink"));
        EXPECT_EQ(Text(client().Get(kZoneA + "disks/web-data-1").body, "id"), Text(operation, "targetId"));
        EXPECT_EQ(emutest::kAccount, Text(operation, "user"));
        EXPECT_EQ(Url(kZoneA + "operations/" + Text(operation, "name")), Text(operation, "selfLink"));
        EXPECT_EQ(Url(std::string(kP1) + "zones/us-central1-a"), Text(operation, "zone"));
        EXPECT_EQ(100, operation.at("progress").get_int());
        for (const char* time : {"insertTime", "startTime", "endTime"})
            EXPECT_NE(-1, gcemu::ParseRfc3339(Text(operation, time))) << time;
        EXPECT_TRUE(Errors(operation).empty());
        const mObject made = client().Get(std::string(kP1) + "global/snapshots/" + snapshot).body;
        EXPECT_EQ("READY", Text(made, "status"));
        EXPECT_EQ("v", Text(Obj(made, "labels"), "k"));
    }
    EXPECT_EQ(0u, emulator().operations().Unfinished());
}

TEST_F(ComputeMutationModelTest, ReadingTheResourceMovesItsOperationAndShowsTheWayThere) {
    emulator().operations().SetPollsUntilDone(2);
    const std::string snapshot = std::string(kP1) + "global/snapshots/web-1-now";
    const Reply reply = client().Post(kZoneA + "disks/web-1/createSnapshot", mObject{{"name", "web-1-now"}});
    ASSERT_EQ("PENDING", Text(reply.body, "status"));
    mObject made = client().Get(snapshot).body;  // one step: the operation is RUNNING
    EXPECT_EQ("UPLOADING", Text(made, "status"));
    EXPECT_EQ("0", Text(made, "storageBytes"));
    EXPECT_EQ("RUNNING", ListedStatus(kZoneA + "operations", Text(reply.body, "name")));
    made = client().Get(snapshot).body;  // two: DONE
    EXPECT_EQ("READY", Text(made, "status"));
    const mObject disk = client().Get(kZoneA + "disks/web-1").body;
    EXPECT_EQ(Url(kZoneA + "disks/web-1"), Text(made, "sourceDisk"));
    EXPECT_EQ(Text(disk, "id"), Text(made, "sourceDiskId"));
    EXPECT_EQ(Text(disk, "sizeGb"), Text(made, "diskSizeGb"));
    EXPECT_NE("0", Text(made, "storageBytes"));
    EXPECT_EQ(disk.at("licenses"), made.at("licenses"));
    EXPECT_EQ(mArray{"us"}, made.at("storageLocations").get_array());
    EXPECT_EQ("DONE", Text(client().GetUrl(Text(reply.body, "selfLink")).body, "status"));
}

TEST_F(ComputeMutationModelTest, ZonalRegionalAndGlobalOperationsAnswerWhereGoogleDoes) {
    emulator().operations().SetPollsUntilDone(1);
    const Reply regional =
        client().Post(std::string(kP1) + "regions/us-central1/disks/db-ha-data/createSnapshot",
                      mObject{{"name", "db-now"}});
    ASSERT_EQ(200, regional.status) << regional.text;
    EXPECT_EQ(Url(std::string(kP1) + "regions/us-central1"), Text(regional.body, "region"));
    EXPECT_FALSE(regional.body.count("zone"));
    EXPECT_NE(std::string::npos, Text(regional.body, "selfLink").find("/regions/us-central1/operations/"));

    emulator().operations().SetPollsUntilDone("delete", 0);
    const Reply global = client().Delete(std::string(kP1) + "global/snapshots/web-1-daily-20240401");
    EXPECT_EQ("DONE", Text(global.body, "status")) << global.text;
    EXPECT_NE(std::string::npos, Text(global.body, "selfLink").find("/global/operations/"));
    EXPECT_FALSE(global.body.count("zone") || global.body.count("region"));
    EXPECT_EQ(404, client().Get(std::string(kP1) + "global/snapshots/web-1-daily-20240401").status);

    // Lists do not move operations; wait brings one to DONE.
    const std::vector<std::string> listed =
        client().Names(std::string(kP1) + "regions/us-central1/operations");
    EXPECT_EQ(std::vector<std::string>{Text(regional.body, "name")}, listed);
    const Reply waited = client().Post(
        std::string(kP1) + "regions/us-central1/operations/" + Text(regional.body, "name") + "/wait",
        mObject());
    EXPECT_EQ("DONE", Text(waited.body, "status")) << waited.text;
    ExpectComputeError(
        client().Get(kZoneA + "operations/operation-1-0"), 404,
        "The resource 'projects/gcemu-project-1/zones/us-central1-a/operations/operation-1-0' was not "
        "found",
        "notFound");
}

TEST_F(ComputeMutationModelTest, DisksComeFromSnapshotsImagesAndOtherDisks) {
    emulator().operations().SetPollsUntilDone(0);
    struct Case {
        std::string path;
        std::string body;
        std::string sizeGb;
        std::string sourceMember;
        std::string license;  // a license the disk has, or empty
    };
    const std::string zonal = kZoneA + "disks";
    const std::string regional = std::string(kP1) + "regions/us-central1/disks";
    const Case cases[] = {
        {zonal, R"({"name": "from-snap", "sourceSnapshot": "global/snapshots/web-1-daily-20240401",
                    "licenses": [], "guestOsFeatures": [], "labels": {"restored": "yes"}})",
         "20", "sourceSnapshot", "ubuntu-2204-lts"},
        {zonal, R"({"name": "from-image", "sizeGb": "30",
                    "sourceImage": "projects/ubuntu-os-cloud/global/images/family/ubuntu-2204-lts"})",
         "30", "sourceImage", "ubuntu-2204-lts"},
        {zonal,
         R"({"name": "clone", "sourceDisk": "projects/gcemu-project-1/zones/us-central1-a/disks/web-data-1"})",
         "100", "sourceDisk", ""},
        {zonal, R"({"name": "blank", "type": "zones/us-central1-a/diskTypes/pd-ssd", "sizeGb": 10,
                    "diskEncryptionKey": {"kmsKeyName": "projects/gcemu-project-1/locations/us-central1/keyRings/gcemu-ring/cryptoKeys/disk-key"}})",
         "10", "", ""},
        {regional, R"({"name": "ha-restore", "sourceSnapshot": "global/snapshots/db-ha-data-20240401",
                       "replicaZones": ["projects/gcemu-project-1/zones/us-central1-a", "zones/us-central1-c"]})",
         "200", "sourceSnapshot", ""},
    };
    for (const Case& c : cases) {
        mObject body;
        ASSERT_TRUE(ZkJson::Unserialize(c.body, body));
        SCOPED_TRACE(Text(body, "name"));
        DoneWithoutError(client().Post(c.path, body));
        const Reply disk = client().Get(c.path + "/" + Text(body, "name"));
        ASSERT_EQ(200, disk.status) << disk.text;
        EXPECT_EQ("READY", Text(disk.body, "status"));
        EXPECT_EQ(c.sizeGb, Text(disk.body, "sizeGb"));
        if (!c.sourceMember.empty()) {
            EXPECT_FALSE(Text(disk.body, c.sourceMember + "Id").empty());
        }
        if (!c.license.empty()) {
            EXPECT_NE(std::string::npos, ZkJson::Serialize(disk.body.at("licenses")).find(c.license));
        }
    }
    const mObject restored = client().Get(zonal + "/from-snap").body;
    EXPECT_EQ("yes", Text(Obj(restored, "labels"), "restored"));
    EXPECT_TRUE(ZkJson::FindArray(restored, "guestOsFeatures")) << "the snapshot's features stay";
    EXPECT_EQ(Url(kZoneA + "diskTypes/pd-standard"), Text(restored, "type"));
    EXPECT_EQ(
        "projects/gcemu-project-1/locations/us-central1/keyRings/gcemu-ring/cryptoKeys/disk-key/"
        "cryptoKeyVersions/1",
        Text(Obj(client().Get(zonal + "/blank").body, "diskEncryptionKey"), "kmsKeyName"));
    EXPECT_EQ(2u, client().Get(regional + "/ha-restore").body.at("replicaZones").get_array().size());
}

TEST_F(ComputeMutationModelTest, DiskRequestsGoogleRefusesAtOnce) {
    const std::string zonal = kZoneA + "disks";
    struct Case {
        std::string path;
        std::string body;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {zonal, R"({"name": "web-data-1"})", 409,
         "The resource 'projects/gcemu-project-1/zones/us-central1-a/disks/web-data-1' already exists"},
        {zonal, R"({"name": "Bad_Name"})", 400,
         "Invalid value for field 'resource.name': 'Bad_Name'. Must be a match of regex "
         "'(?:[a-z](?:[-a-z0-9]{0,61}[a-z0-9])?)'"},
        {zonal, R"({"name": "x", "sourceSnapshot": "global/snapshots/nope"})", 404,
         "The resource 'projects/gcemu-project-1/global/snapshots/nope' was not found"},
        {zonal, R"({"name": "x", "sourceSnapshot": "global/snapshots/web-1-daily-20240401", "sizeGb": 5})",
         400,
         "Invalid value for field 'resource.sizeGb': '5'. Requested disk size cannot be smaller than the "
         "snapshot "
         "size (20 GB)."},
        {zonal, R"({"name": "x", "type": "zones/us-central1-a/diskTypes/pd-nope"})", 404,
         "The resource 'projects/gcemu-project-1/zones/us-central1-a/diskTypes/pd-nope' was not found"},
        {std::string(kP1) + "regions/us-central1/disks",
         R"({"name": "x", "replicaZones": ["zones/europe-west4-a"]})", 400,
         "Invalid value for field 'resource.replicaZones': ''. A regional disk needs two different zones of "
         "its "
         "region."},
        {zonal + "/nope/createSnapshot", R"({"name": "x"})", 404,
         "The resource 'projects/gcemu-project-1/zones/us-central1-a/disks/nope' was not found"},
        {zonal + "/web-1/createSnapshot", R"({"name": "web-1-daily-20240401"})", 409,
         "The resource 'projects/gcemu-project-1/global/snapshots/web-1-daily-20240401' already exists"},
    };
    for (const Case& c : cases) {
        mObject body;
        ASSERT_TRUE(ZkJson::Unserialize(c.body, body));
        SCOPED_TRACE(c.path + " " + c.body);
        const Reply reply = client().Post(c.path, body);
        EXPECT_EQ(c.status, reply.status) << reply.text;
        EXPECT_EQ(c.message, Text(Obj(reply.body, "error"), "message"));
    }
    EXPECT_EQ(0u, emulator().operations().Unfinished()) << "a refused request starts no operation";
    ExpectComputeError(
        client().Delete(zonal + "/web-data-1"), 400,
        "The disk resource 'projects/gcemu-project-1/zones/us-central1-a/disks/web-data-1' is already "
        "being used by 'projects/gcemu-project-1/zones/us-central1-a/instances/web-1'",
        "resourceInUseByAnotherResource");
}

TEST_F(ComputeMutationModelTest, DeletedDiskShowsDeletingUntilDone) {
    const std::string spare = std::string(kP1) + "zones/europe-west4-a/disks/spare-disk";
    const Reply reply = client().Delete(spare);
    ASSERT_EQ(200, reply.status) << reply.text;
    EXPECT_EQ("DELETING", Text(client().Get(spare).body, "status"));
    DoneWithoutError(reply);
    EXPECT_EQ(404, client().Get(spare).status);
}

TEST_F(ComputeMutationModelTest, AttachAndDetachFollowDeviceNamesAndUsers) {
    const std::string vm = std::string(kP1) + "zones/europe-west4-a/instances/web-3";
    const std::string spare = std::string(kP1) + "zones/europe-west4-a/disks/spare-disk";
    DoneWithoutError(client().Post(vm + "/attachDisk", mObject{{"source", Url(spare)}}));
    mObject instance = client().Get(vm).body;
    const mObject& attached = instance.at("disks").get_array().back().get_obj();
    EXPECT_EQ("persistent-disk-1", Text(attached, "deviceName"));
    EXPECT_EQ(Url(spare), Text(attached, "source"));
    EXPECT_EQ("READ_WRITE", Text(attached, "mode"));
    EXPECT_EQ(std::vector<std::string>{Url(vm)}, Users(client().Get(spare).body));

    ExpectComputeError(
        client().Delete(spare), 400,
        "The disk resource 'projects/gcemu-project-1/zones/europe-west4-a/disks/spare-disk' is already "
        "being used by 'projects/gcemu-project-1/zones/europe-west4-a/instances/web-3'",
        "resourceInUseByAnotherResource");
    ExpectComputeError(client().PostText(vm + "/detachDisk?deviceName=nope", ""), 400,
                       "No attached disk found with device name 'nope'", "invalid");
    EXPECT_EQ(400, client().PostText(vm + "/detachDisk?deviceName=web-3", "").status)
        << "the boot disk stays while the instance runs";
    DoneWithoutError(client().PostText(vm + "/detachDisk?deviceName=persistent-disk-1", ""));
    EXPECT_EQ(1u, client().Get(vm).body.at("disks").get_array().size());
    EXPECT_TRUE(Users(client().Get(spare).body).empty());

    // A disk of another zone, and a read-only disk asked for writing while others read it.
    EXPECT_EQ(
        400, client().Post(vm + "/attachDisk", mObject{{"source", Url(kZoneA + "disks/web-data-1")}}).status);
    const std::string reader = std::string(kP1) + "zones/us-central1-c/instances/web-dev-1";
    const std::string shared = std::string(kP1) + "zones/us-central1-c/disks/shared-ro-data";
    const mObject refused = Done(client().Post(reader + "/attachDisk", mObject{{"source", Url(shared)}}));
    EXPECT_EQ(
        std::vector<std::string>{"RESOURCE_IN_USE_BY_ANOTHER_RESOURCE: The disk resource "
                                 "'projects/gcemu-project-1/zones/us-central1-c/disks/shared-ro-data' is "
                                 "already being used by "
                                 "'projects/gcemu-project-1/zones/us-central1-c/instances/ro-reader-1'"},
        Errors(refused));
    DoneWithoutError(
        client().Post(reader + "/attachDisk",
                      mObject{{"source", Url(shared)}, {"mode", "READ_ONLY"}, {"deviceName", "ref"}}));
    EXPECT_EQ(3u, Users(client().Get(shared).body).size());
}

TEST_F(ComputeMutationModelTest, AttachingBeyondTheMachineTypesLimitFailsTheOperation) {
    testsupport::TempDir dir;
    gcemu::Emulator::Options options;
    options.worldFile = dir.Write("world.json", R"({
      "locations": {"regions": [{"name": "us-central1", "zones": ["us-central1-a"]}],
                    "machineTypes": [{"name": "tiny-1", "guestCpus": 1, "memoryMb": 1024, "maximumPersistentDisks": 2}],
                    "diskTypes": [{"name": "pd-standard", "defaultDiskSizeGb": 10}]},
      "projects": [{"projectId": "p", "networks": [{"name": "default"}],
                    "disks": [{"name": "d1", "zone": "us-central1-a"}, {"name": "d2", "zone": "us-central1-a"}],
                    "instances": [{"name": "vm", "zone": "us-central1-a", "machineType": "tiny-1",
                                   "bootDisk": {}, "disks": ["d1"]}]}]})");
    Client small(options);
    const std::string zone = "/compute/v1/projects/p/zones/us-central1-a/";
    const mObject failed = Done(
        small.Post(zone + "instances/vm/attachDisk", mObject{{"source", "zones/us-central1-a/disks/d2"}}),
        small);
    EXPECT_EQ(
        std::vector<std::string>{
            "LIMIT_EXCEEDED: Exceeded limit 'maximum_persistent_disks' on resource 'vm'. "
            "Limit: 2.0"},
        Errors(failed));
    EXPECT_EQ(400, failed.at("httpErrorStatusCode").get_int());
    EXPECT_EQ("BAD REQUEST", Text(failed, "httpErrorMessage"));
    EXPECT_EQ(2u, small.Get(zone + "instances/vm").body.at("disks").get_array().size());
    EXPECT_TRUE(Users(small.Get(zone + "disks/d2").body).empty());
    EXPECT_EQ(2, small.Get(zone + "machineTypes/tiny-1").body.at("maximumPersistentDisks").get_int());
}

TEST_F(ComputeMutationModelTest, MovedDiskKeepsItsNameInTheOtherZone) {
    const std::string from = std::string(kP1) + "zones/europe-west4-a/disks/spare-disk";
    const std::string to = std::string(kP1) + "zones/europe-west4-b/disks/spare-disk";
    const mObject before = client().Get(from).body;
    const mObject operation = DoneWithoutError(
        client().Post(std::string(kP1) + "moveDisk",
                      mObject{{"targetDisk", Url(from)},
                              {"destinationZone", Url(std::string(kP1) + "zones/europe-west4-b")}}));
    EXPECT_EQ("moveDisk", Text(operation, "operationType"));
    EXPECT_NE(std::string::npos, Text(operation, "selfLink").find("/global/operations/"));
    EXPECT_EQ(404, client().Get(from).status);
    const mObject moved = client().Get(to).body;
    EXPECT_EQ(Url(std::string(kP1) + "zones/europe-west4-b"), Text(moved, "zone"));
    EXPECT_EQ(Url(std::string(kP1) + "zones/europe-west4-b/diskTypes/pd-standard"), Text(moved, "type"));
    EXPECT_EQ(before.at("labels"), moved.at("labels"));

    EXPECT_EQ(400, client()
                       .Post(std::string(kP1) + "moveDisk",
                             mObject{{"targetDisk", "zones/us-central1-a/disks/web-data-1"},
                                     {"destinationZone", "zones/us-central1-b"}})
                       .status)
        << "an attached disk stays";
}

TEST_F(ComputeMutationModelTest, NewInstanceGoesProvisioningStagingRunningWithItsDisksAndAddress) {
    emulator().operations().SetPollsUntilDone(2);
    DoneWithoutError(client().Post(kZoneA + "disks", mObject{{"name", "data-x"}, {"sizeGb", "15"}}));
    mObject body = InsertBody("new-vm", R"(, "labels": {"env": "test"}, "deletionProtection": true,
        "metadata": {"items": [{"key": "k", "value": "v"}]}, "tags": {"items": ["web"]},
        "serviceAccounts": [{"email": "default", "scopes": ["https://www.googleapis.com/auth/cloud-platform"]}],
        "scheduling": {"nodeAffinities": [{"key": "compute.googleapis.com/node-group-name", "operator": "IN",
                                          "values": ["sole-tenant-group"]}]},
        "shieldedInstanceConfig": {"enableSecureBoot": true})");
    body["disks"].get_array().push_back(mObject{
        {"source", "projects/gcemu-project-1/zones/us-central1-a/disks/data-x"}, {"deviceName", "data"}});
    body["networkInterfaces"].get_array()[0].get_obj()["accessConfigs"] =
        mArray{mObject{{"name", "External NAT"}, {"type", "ONE_TO_ONE_NAT"}}};
    const Reply reply = client().Post(kZoneA + "instances", body);
    ASSERT_EQ("PENDING", Text(reply.body, "status")) << reply.text;
    EXPECT_EQ("insert", Text(reply.body, "operationType"));

    const std::string vm = kZoneA + "instances/new-vm";
    EXPECT_EQ("PROVISIONING", ListedStatus(kZoneA + "instances", "new-vm"));
    EXPECT_EQ("STAGING", Text(client().Get(vm).body, "status"));
    const mObject instance = client().Get(vm).body;
    EXPECT_EQ("RUNNING", Text(instance, "status"));
    EXPECT_TRUE(Errors(client().GetUrl(Text(reply.body, "selfLink")).body).empty());

    const mObject& nic = instance.at("networkInterfaces").get_array().at(0).get_obj();
    EXPECT_EQ(Url(std::string(kP1) + "regions/us-central1/subnetworks/default"), Text(nic, "subnetwork"));
    EXPECT_EQ(0u, Text(nic, "networkIP").find("10.128.0.")) << Text(nic, "networkIP");
    EXPECT_FALSE(Text(nic.at("accessConfigs").get_array().at(0).get_obj(), "natIP").empty());
    const mArray& disks = instance.at("disks").get_array();
    ASSERT_EQ(2u, disks.size());
    EXPECT_EQ(Url(kZoneA + "disks/new-vm"), Text(disks[0].get_obj(), "source"));
    EXPECT_EQ("data", Text(disks[1].get_obj(), "deviceName"));
    EXPECT_EQ(std::vector<std::string>{Url(vm)}, Users(client().Get(kZoneA + "disks/new-vm").body));
    EXPECT_EQ(std::vector<std::string>{Url(vm)}, Users(client().Get(kZoneA + "disks/data-x").body));
    EXPECT_EQ("test", Text(Obj(instance, "labels"), "env"));
    EXPECT_TRUE(instance.at("deletionProtection").get_bool());
    EXPECT_TRUE(Obj(instance, "shieldedInstanceConfig").at("enableSecureBoot").get_bool());
    EXPECT_EQ("100000000001-compute@developer.gserviceaccount.com",
              Text(instance.at("serviceAccounts").get_array().at(0).get_obj(), "email"));
    EXPECT_EQ(mArray{"web"}, Obj(instance, "tags").at("items").get_array());

    // The address of a new instance is no longer free.
    DoneWithoutError(client().Post(kZoneA + "instances", InsertBody("next-vm")));
    const mObject next = client().Get(kZoneA + "instances/next-vm").body;
    EXPECT_NE(Text(nic, "networkIP"),
              Text(next.at("networkInterfaces").get_array().at(0).get_obj(), "networkIP"));
}

TEST_F(ComputeMutationModelTest, InstanceRequestsGoogleRefusesAtOnce) {
    struct Case {
        std::string change;  // JSON members laid over a good body
        int status;
        std::string message;
    };
    const Case cases[] = {
        {R"({"name": "web-1"})", 409,
         "The resource 'projects/gcemu-project-1/zones/us-central1-a/instances/web-1' already exists"},
        {R"({"machineType": "zones/us-central1-a/machineTypes/n9-huge"})", 400,
         "Invalid value for field 'resource.machineType': 'zones/us-central1-a/machineTypes/n9-huge'. "
         "Machine "
         "type with name 'n9-huge' does not exist in zone 'us-central1-a'."},
        {R"({"machineType": "zones/us-central1-b/machineTypes/e2-medium"})", 400,
         "Invalid value for field 'resource.machineType': 'zones/us-central1-b/machineTypes/e2-medium'. "
         "Machine "
         "type specified 'e2-medium' is in a different scope than the instance."},
        {R"({"machineType": "e2-medium"})", 400,
         "Invalid value for field 'resource.machineType': 'e2-medium'. The URL is malformed."},
        {R"({"disks": [{"boot": true, "source": "zones/us-central1-a/disks/nope"}]})", 404,
         "The resource 'projects/gcemu-project-1/zones/us-central1-a/disks/nope' was not found"},
        {R"({"networkInterfaces": [{"network": "global/networks/nope"}]})", 404,
         "The resource 'projects/gcemu-project-1/global/networks/nope' was not found"},
        {R"({"networkInterfaces": [{"network": "global/networks/prod-vpc"}]})", 400,
         "Invalid value for field 'resource.networkInterfaces[0].subnetwork': ''. Subnetwork should be "
         "specified "
         "for custom subnetmode network"},
        {R"({"networkInterfaces": [{"subnetwork": "regions/us-central1/subnetworks/prod-us", "networkIP": "10.99.0.5"}]})",
         400,
         "Invalid value for field 'resource.networkInterfaces[0].networkIP': '10.99.0.5'. Requested internal "
         "IP is "
         "outside the subnetwork CIDR range 10.10.0.0/20."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        mObject body = InsertBody("refused-vm");
        mObject change;
        ASSERT_TRUE(ZkJson::Unserialize(c.change, change));
        for (const auto& [key, value] : change) body[key] = value;
        const Reply reply = client().Post(kZoneA + "instances", body);
        EXPECT_EQ(c.status, reply.status) << reply.text;
        EXPECT_EQ(c.message, Text(Obj(reply.body, "error"), "message"));
    }
    EXPECT_EQ(0u, emulator().operations().Unfinished());
    mObject custom = InsertBody("custom-vm");
    custom["machineType"] = "zones/us-central1-a/machineTypes/n2-custom-2-4096";
    DoneWithoutError(client().Post(kZoneA + "instances", custom));
}

TEST_F(ComputeMutationModelTest, AddressInUseFailsTheInsertNamingTheAddress) {
    const std::string taken =
        Text(client().Get(kZoneA + "instances/db-1").body.at("networkInterfaces").get_array()[0].get_obj(),
             "networkIP");
    mObject body = InsertBody("clash");
    body["networkInterfaces"] =
        mArray{mObject{{"subnetwork", "regions/us-central1/subnetworks/prod-us"}, {"networkIP", taken}}};
    const mObject failed = Done(client().Post(kZoneA + "instances", body));
    EXPECT_EQ(std::vector<std::string>{"IP_IN_USE_BY_ANOTHER_RESOURCE: IP address '" + taken +
                                       "' is already being used by another resource."},
              Errors(failed));
    EXPECT_EQ(400, failed.at("httpErrorStatusCode").get_int());
    EXPECT_EQ(404, client().Get(kZoneA + "instances/clash").status);
    EXPECT_EQ(404, client().Get(kZoneA + "disks/clash").status) << "no boot disk is left behind";

    // As the library retries: without the address, Compute Engine picks a free one.
    body["networkInterfaces"].get_array()[0].get_obj().erase("networkIP");
    DoneWithoutError(client().Post(kZoneA + "instances", body));
    EXPECT_EQ("RUNNING", Text(client().Get(kZoneA + "instances/clash").body, "status"));
}

TEST_F(ComputeMutationModelTest, InjectedFailuresEndTheOperationAndChangeNothing) {
    gcemu::Operations& operations = emulator().operations();
    operations.AddFault(OperationFault::Of("ZONE_RESOURCE_POOL_EXHAUSTED", "insert",
                                           "projects/gcemu-project-1/zones/us-central1-a/instances/"));
    const mObject stockout = Done(client().Post(kZoneA + "instances", InsertBody("unlucky")));
    EXPECT_EQ(
        std::vector<std::string>{"ZONE_RESOURCE_POOL_EXHAUSTED: The zone "
                                 "'projects/gcemu-project-1/zones/us-central1-a' does not have enough "
                                 "resources available to fulfill the request.  Try a different zone, or try "
                                 "again later."},
        Errors(stockout));
    EXPECT_EQ(503, stockout.at("httpErrorStatusCode").get_int());
    EXPECT_EQ("SERVICE UNAVAILABLE", Text(stockout, "httpErrorMessage"));
    EXPECT_EQ(404, client().Get(kZoneA + "instances/unlucky").status);
    EXPECT_EQ(0u, operations.PendingFaults());

    // Two snapshots of web-1 fail, one of another disk is not matched, the third of web-1 succeeds.
    operations.AddFault(
        OperationFault::Of("QUOTA_EXCEEDED", "createSnapshot", Url(kZoneA + "disks/web-1"), 2));
    const std::string snapshots = std::string(kP1) + "global/snapshots/";
    for (const char* name : {"s1", "s2"}) {
        DoneWithoutError(client().Post(kZoneA + "disks/web-data-1/createSnapshot",
                                       mObject{{"name", std::string("other-") + name}}));
        const mObject failed =
            Done(client().Post(kZoneA + "disks/web-1/createSnapshot", mObject{{"name", name}}));
        EXPECT_EQ(std::vector<std::string>{"QUOTA_EXCEEDED: Quota 'CPUS' exceeded.  Limit: 24.0 in region "
                                           "us-central1."},
                  Errors(failed));
        EXPECT_EQ(403, failed.at("httpErrorStatusCode").get_int());
        EXPECT_EQ(404, client().Get(snapshots + name).status);
    }
    DoneWithoutError(client().Post(kZoneA + "disks/web-1/createSnapshot", mObject{{"name", "s3"}}));
    EXPECT_EQ(200, client().Get(snapshots + "s3").status);

    // From the control API, with Google's own errors; an IP fault names the address the insert got.
    const Reply added = client().PostText(
        "/_gcemu/operations/faults",
        R"({"operationType": "insert", "code": "IP_IN_USE_BY_ANOTHER_RESOURCE"})", "localhost");
    EXPECT_EQ(200, added.status) << added.text;
    const mObject clash = Done(client().Post(kZoneA + "instances", InsertBody("ip-vm")));
    ASSERT_EQ(1u, Errors(clash).size());
    EXPECT_TRUE(
        std::regex_match(Errors(clash)[0], std::regex("IP_IN_USE_BY_ANOTHER_RESOURCE: IP address "
                                                      "'10\\.128\\.0\\.[0-9]+' is already being used by "
                                                      "another resource\\.")))
        << Errors(clash)[0];
    EXPECT_EQ(200, client()
                       .PostText("/_gcemu/operations/faults",
                                 R"({"errors": [{"code": "RESOURCE_NOT_READY", "message": "not ready"}],
                                     "httpErrorStatusCode": 400, "httpErrorMessage": "BAD REQUEST"})",
                                 "localhost")
                       .status);
    const mObject labelled = Done(client().Post(
        kZoneA + "disks/web-1/setLabels",
        mObject{{"labels", mObject{{"a", "b"}}},
                {"labelFingerprint", Text(client().Get(kZoneA + "disks/web-1").body, "labelFingerprint")}}));
    EXPECT_EQ(std::vector<std::string>{"RESOURCE_NOT_READY: not ready"}, Errors(labelled));
    EXPECT_FALSE(client().Get(kZoneA + "disks/web-1").body.count("labels"))
        << "a failed setLabels sets nothing";
    EXPECT_EQ(
        400,
        client().PostText("/_gcemu/operations/faults", R"({"count": 0, "code": "X"})", "localhost").status);
}

TEST_F(ComputeMutationModelTest, LabelsChangeOnlyWithTheCurrentFingerprint) {
    for (const std::string& disk :
         {kZoneA + "disks/web-data-1", std::string(kP1) + "regions/us-central1/disks/db-ha-data",
          std::string(kP1) + "global/snapshots/vault-data-20240401"}) {
        SCOPED_TRACE(disk);
        const std::string first = Text(client().Get(disk).body, "labelFingerprint");
        ExpectComputeError(
            client().Post(disk + "/setLabels",
                          mObject{{"labels", mObject{{"a", "1"}}}, {"labelFingerprint", "c3RhbGU="}}),
            412, "Labels fingerprint either invalid or resource labels have changed", "conditionNotMet");
        const mObject labels{{"backup", "done"}};
        DoneWithoutError(
            client().Post(disk + "/setLabels", mObject{{"labels", labels}, {"labelFingerprint", first}}));
        const mObject changed = client().Get(disk).body;
        EXPECT_EQ(labels, Obj(changed, "labels"));
        const std::string second = Text(changed, "labelFingerprint");
        EXPECT_NE(first, second);
        EXPECT_EQ(12u, second.size()) << "base64 of 8 bytes";
        EXPECT_EQ(412,
                  client()
                      .Post(disk + "/setLabels", mObject{{"labels", labels}, {"labelFingerprint", first}})
                      .status);
        // The same labels again still make a new fingerprint.
        DoneWithoutError(
            client().Post(disk + "/setLabels", mObject{{"labels", labels}, {"labelFingerprint", second}}));
        EXPECT_NE(second, Text(client().Get(disk).body, "labelFingerprint"));
    }
}

TEST_F(ComputeMutationModelTest, DeletingAnInstanceTakesItsAutoDeleteDisks) {
    ExpectComputeError(
        client().Delete(kZoneA + "instances/db-1"), 400,
        "Invalid resource usage: 'Resource cannot be deleted if it's protected against deletion.'.",
        "invalidResourceUsage");
    const Reply reply = client().Delete(kZoneA + "instances/web-1");
    EXPECT_EQ("STOPPING", Text(client().Get(kZoneA + "instances/web-1").body, "status"));
    DoneWithoutError(reply);
    EXPECT_EQ(404, client().Get(kZoneA + "instances/web-1").status);
    EXPECT_EQ(404, client().Get(kZoneA + "disks/web-1").status) << "the boot disk went with it";
    const Reply data = client().Get(kZoneA + "disks/web-data-1");
    EXPECT_EQ(200, data.status) << "a disk without autoDelete stays";
    EXPECT_TRUE(Users(data.body).empty());
}

TEST_F(ComputeMutationModelTest, StopAndStartWalkThroughTheStatuses) {
    const std::string vm = kZoneA + "instances/web-1";
    const Reply stop = client().PostText(vm + "/stop", "");
    EXPECT_EQ("stop", Text(stop.body, "operationType"));
    EXPECT_EQ("STOPPING", Text(client().Get(vm).body, "status"));
    DoneWithoutError(stop);
    const mObject stopped = client().Get(vm).body;
    EXPECT_EQ("TERMINATED", Text(stopped, "status"));
    EXPECT_FALSE(Text(stopped, "lastStopTimestamp").empty());

    const Reply start = client().PostText(vm + "/start", "");
    EXPECT_EQ("STAGING", Text(client().Get(vm).body, "status"));
    DoneWithoutError(start);
    EXPECT_EQ("RUNNING", Text(client().Get(vm).body, "status"));

    // Stopping what is stopped changes nothing; a suspended instance is resumed, not started.
    const std::string legacy = std::string(kP1) + "zones/us-central1-c/instances/legacy-1";
    DoneWithoutError(client().PostText(legacy + "/stop", ""));
    EXPECT_EQ("TERMINATED", Text(client().Get(legacy).body, "status"));
    EXPECT_EQ(
        400, client().PostText(std::string(kP1) + "zones/europe-west4-a/instances/batch-1/start", "").status);
    EXPECT_EQ(404, client().PostText(kZoneA + "instances/nope/stop", "").status);
}

TEST_F(ComputeMutationModelTest, ResetBringsTheWorldAndTheOperationSettingsBack) {
    gcemu::Operations& operations = emulator().operations();
    operations.SetPollsUntilDone(5);
    client().Post(kZoneA + "disks", mObject{{"name", "temp"}});
    client().Delete(std::string(kP1) + "global/snapshots/old-app-final");
    operations.AddFault(OperationFault::Of("QUOTA_EXCEEDED"));
    EXPECT_EQ(2u, operations.Unfinished());

    emulator().ResetWorld();
    EXPECT_EQ(0u, operations.Unfinished());
    EXPECT_EQ(0u, operations.PendingFaults());
    EXPECT_EQ(gcemu::Operations::kDefaultPolls, operations.PollsUntilDone("insert"));
    EXPECT_EQ(404, client().Get(kZoneA + "disks/temp").status);
    EXPECT_EQ("READY",
              Text(client().Get(std::string(kP1) + "global/snapshots/old-app-final").body, "status"));
    EXPECT_TRUE(client().Names(kZoneA + "operations").empty());
    EXPECT_TRUE(client().Names(std::string(kP1) + "global/operations").empty());

    // The control API steers polls too.
    EXPECT_EQ(200, client()
                       .PostText("/_gcemu/operations/polls",
                                 R"({"pollsUntilDone": 0, "operationType": "delete"})", "localhost")
                       .status);
    EXPECT_EQ(0, operations.PollsUntilDone("delete"));
    EXPECT_EQ(400,
              client().PostText("/_gcemu/operations/polls", R"({"pollsUntilDone": -1})", "localhost").status);
}

TEST(OperationFaultTest, ReadsTheControlApisJson) {
    const OperationFault ready = OperationFault::FromJson(mObject{{"operationType", "insert"},
                                                                  {"targetPrefix", "projects/p/"},
                                                                  {"count", 3},
                                                                  {"code", "LIMIT_EXCEEDED"}});
    EXPECT_EQ("insert", ready.operationType);
    EXPECT_EQ(3, ready.count);
    ASSERT_EQ(1u, ready.failure.errors.size());
    EXPECT_EQ("Exceeded limit 'maximum_persistent_disks' on resource '{targetName}'. Limit: 128.0",
              ready.failure.errors[0].message);

    for (const char* bad :
         {R"({})", R"({"code": "X", "errors": [{"code": "Y"}]})", R"({"code": "X", "count": 0})",
          R"({"code": "X", "colour": "red"})", R"({"errors": [{"message": "no code"}]})", R"({"code": 5})",
          R"({"code": "X", "httpErrorStatusCode": 200})"}) {
        mObject json;
        ASSERT_TRUE(ZkJson::Unserialize(bad, json)) << bad;
        EXPECT_THROW(OperationFault::FromJson(json), std::invalid_argument) << bad;
    }
}

}  // namespace
