// gcsdk's listings against gcemu: projects, zones, regions, VMs by place and label, one VM found by GUID or
// name, and an empty place told from a mistyped one.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "host/ZkJson.h"
#include "tests/tools/GcsdkFixture.h"

namespace {

using namespace gcsdktest;

TEST_F(GcsdkTest, ListsProjectsAsTableAndJson) {
    const std::vector<std::string> projects = ProjectIds();
    ASSERT_GE(projects.size(), 2u);

    Result table = Run({"projects"});
    ASSERT_EQ(table.status, 0) << Shown({"projects"}, table);
    EXPECT_EQ(Header(table.out), "PROJECT ID NAME ORGANIZATION");
    for (const std::string& id : projects)
        EXPECT_TRUE(Contains(table.out, "\n" + id + " ")) << id << table.out;
    EXPECT_TRUE(Contains(table.out, "gcemu project 1")) << table.out;

    Result json = Run({"projects", "--json"});
    ASSERT_EQ(json.status, 0) << Shown({"projects", "--json"}, json);
    const auto objects = JsonObjects(json.out);
    EXPECT_EQ(Field(objects, "projectId"), std::multiset<std::string>(projects.begin(), projects.end()));

    // Credentials given on the command line alone, the global options after the command.
    Result bare = RunBare({"projects", "--settings", m_settings, "--key-file", m_keyFile, "--json"});
    EXPECT_EQ(bare.status, 0) << bare.err;
    EXPECT_EQ(bare.out, json.out);
    Result p12 = RunBare({"--settings", m_settings, "--p12", Key().p12File, "--email", Key().email,
                          "--password", Key().p12Password, "--json", "projects"});
    EXPECT_EQ(p12.status, 0) << p12.err;
    EXPECT_EQ(p12.out, json.out);
}

TEST_F(GcsdkTest, ListsZonesAndRegions) {
    Result zones = Run({"zones", "--project", "gcemu-project-1"});
    ASSERT_EQ(zones.status, 0) << Shown({"zones"}, zones);
    EXPECT_EQ(Header(zones.out), "NAME REGION STATUS ID");
    EXPECT_TRUE(Contains(zones.out, "\nus-central1-a   us-central1   UP")) << zones.out;

    Result json = Run({"--json", "zones", "--project", "gcemu-project-1"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto objects = JsonObjects(json.out);
    EXPECT_EQ(Field(objects, "name"),
              (std::multiset<std::string>{"europe-west4-a", "europe-west4-b", "us-central1-a",
                                          "us-central1-b", "us-central1-c"}));

    Result regions = Run({"regions", "--project", "gcemu-project-1"});
    ASSERT_EQ(regions.status, 0) << regions.err;
    EXPECT_EQ(Header(regions.out), "NAME STATUS ID ZONES");
    EXPECT_TRUE(Contains(regions.out, " us-central1-a,us-central1-b,us-central1-c\n")) << regions.out;
    const auto regionObjects = JsonObjects(Run({"regions", "--json"}).out);
    EXPECT_EQ(Field(regionObjects, "name"), (std::multiset<std::string>{"europe-west4", "us-central1"}));
}

TEST_F(GcsdkTest, ListsVmsByProjectZoneRegionAndLabel) {
    const std::string p1 = "gcemu-project-1";
    struct Case {
        std::vector<std::string> args;
        std::multiset<std::string> names;
    };
    const auto inZone = [](const std::string& zone) {
        return [zone](const json_spirit::mObject& vm) { return ZkJson::GetStringValue(vm, "zone") == zone; };
    };
    std::multiset<std::string> p1AndP2 = SeedVms(p1);
    for (const std::string& name : SeedVms("gcemu-project-2")) p1AndP2.insert(name);
    std::multiset<std::string> everywhere;
    for (const std::string& project : ProjectIds())
        for (const std::string& name : SeedVms(project)) everywhere.insert(name);
    const Case cases[] = {
        {{"vms"}, everywhere},
        {{"vms", "--project", p1}, SeedVms(p1)},
        {{"vms", "--project-pattern", "GCEMU-PROJECT-?"}, p1AndP2},
        {{"vms", "--project", "gcemu-project-[12]"}, p1AndP2},
        {{"vms", "--project", p1, "--zone", "us-central1-a"}, SeedVms(p1, inZone("us-central1-a"))},
        {{"vms", "--project", p1, "--region", "europe-west4"},
         SeedVms(p1,
                 [](const json_spirit::mObject& vm) {
                     return ZkJson::GetStringValue(vm, "zone").rfind("europe-west4-", 0) == 0;
                 })},
        {{"vms", "--project", p1, "--label", "env=dev"},
         SeedVms(p1, [](const json_spirit::mObject& vm) { return HasLabel(vm, "env", "dev"); })},
        {{"vms", "--project", p1, "--label", "backup=w*"},
         SeedVms(p1, [](const json_spirit::mObject& vm) { return HasLabel(vm, "backup", "weekly"); })},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        Result result = Run(args);
        ASSERT_EQ(result.status, 0) << Shown(args, result);
        const auto objects = JsonObjects(result.out);
        EXPECT_EQ(Field(objects, "name"), c.names) << Shown(args, result);
        EXPECT_FALSE(c.names.empty()) << "a case that proves nothing: " << Shown(args, result);
    }
}

TEST_F(GcsdkTest, ShowsVmsInAnAlignedTableAndFullerJson) {
    const std::vector<std::string> args = {"vms", "--project", "gcemu-project-1", "--zone", "us-central1-a"};
    Result json = Run({"vms", "--project", "gcemu-project-1", "--zone", "us-central1-a", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const json_spirit::mObject web1 = Find(json.out, "name", "web-1");
    const std::string guid = ZkJson::GetStringValue(web1, "id");
    ASSERT_FALSE(guid.empty()) << json.out;
    const std::pair<const char*, const char*> members[] = {
        {"projectId", "gcemu-project-1"}, {"zone", "us-central1-a"},
        {"region", "us-central1"},        {"status", "RUNNING"},
        {"machineType", "e2-standard-2"}, {"externalIp", "34.70.10.1"}};
    for (const auto& [member, value] : members)
        EXPECT_EQ(ZkJson::GetStringValue(web1, member), value) << member;
    const json_spirit::mObject* labels = ZkJson::FindObject(web1, "labels");
    EXPECT_TRUE(labels && ZkJson::GetStringValue(*labels, "env") == "prod") << json.out;
    const json_spirit::mArray* disks = ZkJson::FindArray(web1, "disks");
    EXPECT_TRUE(disks && disks->size() == 2u) << "boot disk and web-data-1: " << json.out;

    Result table = Run(args);
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(Header(table.out), "NAME ZONE STATUS MACHINE TYPE GUID PROJECT LABELS");
    const std::string row = LineStarting(table.out, "web-1 ");
    for (const std::string& cell :
         {std::string("us-central1-a"), std::string("RUNNING"), std::string("e2-standard-2"), guid,
          std::string("gcemu-project-1"), std::string("app=web,backup=daily,env=prod")})
        EXPECT_TRUE(Contains(row, " " + cell)) << cell << " in " << table.out;
    EXPECT_EQ(row.find(guid), table.out.find("GUID")) << "columns line up with the header:\n" << table.out;
}

TEST_F(GcsdkTest, FindsVmsByGuidAndByName) {
    const std::string guid = ZkJson::GetStringValue(
        Find(Run({"vms", "--project", "gcemu-project-2", "--json"}).out, "name", "api-eu-1"), "id");
    ASSERT_FALSE(guid.empty());

    // Through the GUID cache the listing filled, and through a scan of every project with a fresh cache.
    const std::string freshSettings = Emulator().WriteClientSettings(
        m_dir.File("fresh.ini"), "[GoogleCloud]\nnHttpRetryAttempts=0\nsGuidCacheFile=" + m_dir.File("fresh.db") + "\n");
    for (const std::string& settings : {m_settings, freshSettings}) {
        Result found = Run({"--settings", settings, "find", "--guid", guid});
        ASSERT_EQ(found.status, 0) << found.err;
        EXPECT_EQ(found.out.substr(0, found.out.find("STATUS")),
                  "PROJECT       gcemu-project-2\nREGION        europe-west4\nZONE          europe-west4-a\n"
                  "NAME          api-eu-1\nGUID          " +
                      guid + "\n");
    }
    Result json = Run({"find", "--guid", guid, "--json"});
    json_spirit::mObject vm;
    ASSERT_TRUE(ZkJson::Unserialize(json.out, vm)) << json.out << json.err;
    EXPECT_EQ(ZkJson::GetStringValue(vm, "name"), "api-eu-1");

    // By name: a wrong zone is only where the search starts.
    Result byName =
        Run({"find", "--name", "web-2", "--project", "gcemu-project-1", "--zone", "us-central1-a"});
    EXPECT_EQ(byName.status, 0) << byName.err;
    EXPECT_EQ(LineStarting(byName.out, "ZONE"), "ZONE          us-central1-b") << byName.out;

    const Case missing[] = {
        {{"find", "--guid", "12345"}, "gcsdk: no VM with GUID 12345 found\n"},
        {{"find", "--name", "nosuch", "--project", "gcemu-project-1"},
         "gcsdk: no VM named nosuch found in project gcemu-project-1\n"},
    };
    for (const Case& c : missing) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 1) << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, c.err)) << Shown(c.args, result);
        EXPECT_EQ(result.out, "");
    }
}

// The library skips a zone or region whose list failed and succeeds all the same: the list is partial,
// and says so.
TEST_F(GcsdkTest, APartialListNamesWhatFailedAndExitsThree) {
    const std::string p1 = "gcemu-project-1";
    struct Case {
        std::vector<std::string> args;
        std::string failing;  // under projects/gcemu-project-1/
        std::string place;
        std::string zone, region;
        std::string missing;  // a VM that is not listed then
    };
    const Case cases[] = {
        {{"vms", "--project", p1},
         "zones/us-central1-b/instances",
         "zone us-central1-b of project " + p1,
         "us-central1-b",
         "",
         "web-2"},
        {{"vms", "--project", p1},
         "regions/europe-west4",
         "region europe-west4 of project " + p1,
         "",
         "europe-west4",
         "web-3"},
        {{"vms"},
         "zones/us-central1-b/instances",
         "zone us-central1-b of project " + p1,
         "us-central1-b",
         "",
         "web-2"},
        {{"vms", "--project", p1, "--label", "env=prod"},
         "zones/us-central1-b/instances",
         "zone us-central1-b of project " + p1,
         "us-central1-b",
         "",
         "web-2"},
    };
    for (const Case& c : cases) {
        for (bool json : {false, true}) {
            gcemu::FaultRule fault;
            fault.method = "GET";
            fault.hostAndPathPrefix = "compute.googleapis.com/compute/v1/projects/" + p1 + "/" + c.failing;
            fault.status = 503;
            fault.count = 100;  // every page, every try
            Emulator().faults().Add(fault);
            std::vector<std::string> args = c.args;
            if (json) args.push_back("--json");
            Result result = Run(args);
            Emulator().faults().Clear();
            EXPECT_EQ(result.status, 3) << Shown(args, result);
            if (!json) {
                EXPECT_TRUE(
                    Contains(result.err, "gcsdk: partial list: " + c.place + " could not be listed: "))
                    << Shown(args, result);
                EXPECT_TRUE(Contains(result.err, " (503)\n")) << Shown(args, result);
                EXPECT_TRUE(Contains(result.out, "\nweb-1 ")) << Shown(args, result);
                EXPECT_FALSE(Contains(result.out, "\n" + c.missing + " ")) << Shown(args, result);
                continue;
            }
            json_spirit::mObject partial;
            ASSERT_TRUE(ZkJson::Unserialize(result.out, partial)) << Shown(args, result);
            const json_spirit::mArray* items = ZkJson::FindArray(partial, "items");
            const json_spirit::mArray* failures = ZkJson::FindArray(partial, "failures");
            ASSERT_TRUE(items && failures && failures->size() == 1u) << Shown(args, result);
            EXPECT_FALSE(items->empty());
            const json_spirit::mObject& failure = failures->front().get_obj();
            EXPECT_EQ(ZkJson::GetStringValue(failure, "project"), p1);
            EXPECT_EQ(ZkJson::GetStringValue(failure, "zone"), c.zone);
            EXPECT_EQ(ZkJson::GetStringValue(failure, "region"), c.region);
            EXPECT_EQ(ZkJson::GetStringValue(failure, "code"), "503");
            EXPECT_TRUE(Contains(ZkJson::GetStringValue(failure, "url"), "/projects/" + p1 + "/" + c.failing))
                << Shown(args, result);
            EXPECT_FALSE(ZkJson::GetStringValue(failure, "error").empty()) << Shown(args, result);
        }
    }
    // A list that lost nothing stays an array.
    EXPECT_EQ(Run({"vms", "--project", p1, "--json"}).out.front(), '[');
}

// The library counts a 404 as an empty list; a mistyped project or zone is still a failure here.
TEST_F(GcsdkTest, TellsAnEmptyPlaceFromAMistypedOne) {
    Result empty = Run({"vms", "--project", "gcemu-empty-project"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out, "");
    EXPECT_TRUE(Contains(empty.err, "gcsdk: no VMs found\n")) << empty.err;
    EXPECT_EQ(Run({"vms", "--project", "gcemu-empty-project", "--json"}).out, "[]\n");
    // The library answers a list without items as a failure with no error of its own.
    for (const char* list : {"snapshots", "buckets"}) {
        const std::vector<std::string> args = {list, "list", "--project", "gcemu-dev-project"};
        Result none = Run(args);
        EXPECT_EQ(none.status, 0) << Shown(args, none);
        EXPECT_EQ(none.out, "") << Shown(args, none);
        EXPECT_EQ(none.err, "gcsdk: no " + std::string(list) + " found\n") << Shown(args, none);
        std::vector<std::string> json = args;
        json.push_back("--json");
        EXPECT_EQ(Run(json).out, "[]\n") << list;
    }

    const Case mistyped[] = {
        {{"vms", "--project", "nosuch"}, "gcsdk: listing VMs of nosuch: "},
        {{"zones", "--project", "nosuch"}, "gcsdk: listing zones of project nosuch: "},
    };
    for (const Case& c : mistyped) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 1) << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, c.err)) << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, " was not found (404)\n")) << Shown(c.args, result);
    }
    // Google refuses a list under a zone it does not know (400); the library answers an empty list and
    // leaves the refusal in its log, which the tool shows, naming the zone, and does not succeed.
    const std::vector<std::string> zone = {"vms", "--project", "gcemu-project-1", "--zone", "nosuch-zone"};
    Result unknown = Run(zone);
    EXPECT_EQ(unknown.status, 3) << Shown(zone, unknown);
    EXPECT_TRUE(Contains(unknown.err,
                         "zone nosuch-zone of project gcemu-project-1 could not be listed: Invalid value for "
                         "field 'zone': 'nosuch-zone'. Unknown zone. (400)\n"))
        << Shown(zone, unknown);
}

}  // namespace
