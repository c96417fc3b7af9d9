// gcemu's Compute Engine where a client's handling depends on Google's exact answer: what is under an
// unknown zone or region, deleting what is still being made, a snapshot's way to READY, and the UTC
// offset Compute writes its times in.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "host/ZkJson.h"
#include "tests/emulator/EmulatorClient.h"
#include "tests/support/TempDir.h"

namespace {

using emutest::Client;
using emutest::ExpectComputeError;
using emutest::Reply;
using emutest::Text;
using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

constexpr char kP1[] = "/compute/v1/projects/gcemu-project-1/";

class ComputeGoogleAnswersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_client = new Client(); }
    static void TearDownTestSuite() { delete s_client; }
    void SetUp() override { emulator().ResetWorld(); }

    static Client& client() { return *s_client; }
    static gcemu::Emulator& emulator() { return s_client->emulator(); }

    // An item's status as a list shows it: lists do not move operations.
    static std::string ListedStatus(const std::string& list, const std::string& name) {
        const Reply reply = client().Get(list);
        if (const mArray* items = ZkJson::FindArray(reply.body, "items")) {
            for (const mValue& item : *items)
                if (Text(item.get_obj(), "name") == name) return Text(item.get_obj(), "status");
        }
        return "(not listed)";
    }
    static mObject Poll(const mObject& operation) {
        return client().GetUrl(Text(operation, "selfLink")).body;
    }

    static Client* s_client;
};

Client* ComputeGoogleAnswersTest::s_client = nullptr;

TEST_F(ComputeGoogleAnswersTest, UnderAnUnknownZoneOrRegionIsGoogles400) {
    const std::string p1 = kP1;
    const std::string zone = "Invalid value for field 'zone': 'mars-north1-a'. Unknown zone.";
    const std::string region = "Invalid value for field 'region': 'mars-north1'. Unknown region.";
    struct Case {
        const char* method;
        std::string path;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"GET", p1 + "zones/mars-north1-a/instances", 400, zone},
        {"GET", p1 + "zones/mars-north1-a/instances/web-1", 400, zone},
        {"GET", p1 + "zones/mars-north1-a/disks?filter=name%20eq%20web-1", 400, zone},
        {"GET", p1 + "zones/mars-north1-a/operations/operation-1", 400, zone},
        {"GET", p1 + "regions/mars-north1/disks", 400, region},
        {"GET", p1 + "regions/mars-north1/subnetworks", 400, region},
        {"POST", p1 + "zones/mars-north1-a/disks", 400, zone},
        {"POST", p1 + "regions/mars-north1/disks/db-ha-data/createSnapshot", 400, region},
        {"DELETE", p1 + "zones/mars-north1-a/instances/web-1", 400, zone},
        // The zone or region itself is a resource that is not there; so is a project.
        {"GET", p1 + "zones/mars-north1-a", 404,
         "The resource 'projects/gcemu-project-1/zones/mars-north1-a' was not found"},
        {"GET", p1 + "regions/mars-north1", 404,
         "The resource 'projects/gcemu-project-1/regions/mars-north1' was not found"},
        {"GET", "/compute/v1/projects/no-such-project/zones/mars-north1-a/instances", 404,
         "The resource 'projects/no-such-project' was not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        const std::string method = c.method;
        const Reply reply = method == "GET"    ? client().Get(c.path)
                            : method == "POST" ? client().Post(c.path, mObject{{"name", "d1"}})
                                               : client().Delete(c.path);
        ExpectComputeError(reply, c.status, c.message, c.status == 400 ? "invalid" : "notFound");
    }
}

TEST_F(ComputeGoogleAnswersTest, WhatIsStillBeingMadeCannotBeDeleted) {
    emulator().operations().SetPollsUntilDone(2);
    const std::string p1 = kP1;
    struct Case {
        const char* what;
        std::string create;  // POST path
        mObject body;
        std::string resource;  // relative name, under kP1
    };
    const Case cases[] = {
        {"a zonal disk", p1 + "zones/us-central1-a/disks", mObject{{"name", "new-disk"}, {"sizeGb", "10"}},
         "zones/us-central1-a/disks/new-disk"},
        {"a regional disk", p1 + "regions/us-central1/disks",
         mObject{{"name", "new-ha"},
                 {"sizeGb", "200"},
                 {"replicaZones", mArray{"zones/us-central1-a", "zones/us-central1-b"}}},
         "regions/us-central1/disks/new-ha"},
        {"a snapshot", p1 + "zones/us-central1-a/disks/web-data-1/createSnapshot",
         mObject{{"name", "snap-1"}}, "global/snapshots/snap-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Reply created = client().Post(c.create, c.body);
        ASSERT_EQ(200, created.status) << created.text;
        const std::string name = "projects/gcemu-project-1/" + c.resource;
        mObject operation = created.body;
        for (int poll = 0; poll < 2; ++poll) {  // while PENDING, and while RUNNING
            ExpectComputeError(client().Delete(kP1 + c.resource), 400,
                               "The resource '" + name + "' is not ready", "resourceNotReady");
            operation = Poll(operation);
        }
        ASSERT_EQ("DONE", Text(operation, "status"));
        const Reply deleted = client().Delete(kP1 + c.resource);
        EXPECT_EQ(200, deleted.status) << deleted.text;
    }
}

TEST_F(ComputeGoogleAnswersTest, ASnapshotIsCreatingThenUploadingThenReadyAsItsOperationIsPolled) {
    const std::string snapshots = std::string(kP1) + "global/snapshots";
    struct Case {
        int polls;
        std::vector<std::string> statuses;  // after the request, then after each poll
    };
    const Case cases[] = {
        {0, {"READY"}},
        {1, {"CREATING", "READY"}},
        {2, {"CREATING", "UPLOADING", "READY"}},
        {3, {"CREATING", "UPLOADING", "UPLOADING", "READY"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("polls " + std::to_string(c.polls));
        emulator().operations().SetPollsUntilDone(c.polls);
        const std::string name = "snap-" + std::to_string(c.polls);
        mObject operation = client()
                                .Post(std::string(kP1) + "zones/us-central1-a/disks/web-1/createSnapshot",
                                      mObject{{"name", name}})
                                .body;
        for (size_t step = 0; step < c.statuses.size(); ++step) {
            if (step > 0) operation = Poll(operation);
            EXPECT_EQ(c.statuses[step], ListedStatus(snapshots, name)) << "step " << step;
        }
        EXPECT_EQ("DONE", Text(operation, "status"));
        EXPECT_FALSE(operation.count("error"));
    }
}

TEST(ComputeTimeZoneTest, ComputeTimesAreWrittenInTheWorldsOffset) {
    const testsupport::TempDir dir;
    const std::string world =
        R"({"timeZoneOffset": "OFFSET", "projects": [{"projectId": "p", "createTime": "2023-05-04T10:11:12Z",
            "regions": ["us-central1"], "disks": [{"name": "d", "zone": "us-central1-a"},
            {"name": "given", "zone": "us-central1-a", "creationTimestamp": "2024-02-13T12:00:00.000-08:00"}]}]})";
    struct Case {
        std::string offset;  // "" leaves the member out
        std::string suffix;
    };
    for (const Case& c :
         {Case{"", "-07:00"}, Case{"+05:30", "+05:30"}, Case{"Z", "Z"}, Case{"-03:00", "-03:00"}}) {
        SCOPED_TRACE(c.suffix);
        const std::string member = R"("timeZoneOffset": "OFFSET", )";
        std::string text = world;
        if (c.offset.empty()) {
            text.erase(text.find(member), member.size());
        } else {
            text.replace(text.find("OFFSET"), 6, c.offset);
        }
        gcemu::Emulator::Options options;
        options.stateDir = dir.File("state");
        options.worldFile = dir.Write("world.json", text);
        Client client(options);
        client.emulator().operations().SetPollsUntilDone(0);
        const std::string project = "/compute/v1/projects/p/";
        const mObject operation =
            client.Post(project + "zones/us-central1-a/disks/d/createSnapshot", mObject{{"name", "s"}}).body;
        const std::string times[] = {
            Text(client.Get(project + "zones/us-central1-a").body, "creationTimestamp"),
            Text(client.Get(project + "zones/us-central1-a/machineTypes/e2-standard-2").body,
                 "creationTimestamp"),
            Text(client.Get(project + "zones/us-central1-a/disks/d").body, "creationTimestamp"),
            Text(client.Get(project).body, "creationTimestamp"),
            Text(operation, "insertTime"),
            Text(operation, "endTime"),
            Text(client.Get(project + "global/snapshots/s").body, "creationTimestamp"),
        };
        for (const std::string& time : times) {
            EXPECT_EQ(c.suffix, time.substr(time.size() - c.suffix.size())) << time;
            EXPECT_NE(-1, gcemu::ParseRfc3339(time)) << time;
        }
        // The same moment whatever the offset: 2023-05-04T10:11:12Z, the project's creation.
        EXPECT_EQ(1683195072, gcemu::ParseRfc3339(Text(client.Get(project).body, "creationTimestamp")));
        EXPECT_EQ("2024-02-13T12:00:00.000-08:00",
                  Text(client.Get(project + "zones/us-central1-a/disks/given").body, "creationTimestamp"))
            << "a time the world gives is kept as written";
    }
    for (const char* bad :
         {R"("-7:00")", R"("07:00")", R"("+15:00")", R"("-07:60")", R"(-420)", R"("PST")"}) {
        SCOPED_TRACE(bad);
        gcemu::Emulator::Options options;
        options.stateDir = dir.File("bad");
        options.worldFile = dir.Write("bad.json", std::string(R"({"timeZoneOffset": )") + bad + "}");
        EXPECT_THROW(gcemu::Emulator emulator(options), std::invalid_argument);
    }
}

}  // namespace
