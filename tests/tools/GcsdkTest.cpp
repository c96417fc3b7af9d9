// The gcsdk binary against gcemu: run as a child process with the emulator's settings and key files,
// judged by its exit status and what it prints.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "emulator/CertificateAuthority.h"
#include "emulator/ClientFiles.h"
#include "host/ZkJson.h"
#include "tests/support/EmulatorFixture.h"
#include "tests/support/TempDir.h"
#include "tests/tools/GcsdkChild.h"

namespace {

using gcemu::World;
using gcsdktest::Child;
using gcsdktest::Contains;
using gcsdktest::Result;
using gcsdktest::Shown;
using testsupport::ReadFile;
using testsupport::TempDir;

// A command line and what its stderr must hold.
struct Case {
    std::vector<std::string> args;
    std::string err;
};

// The objects of a JSON array; empty (with a failure) when the text is not one.
std::vector<json_spirit::mObject> JsonObjects(const std::string& text) {
    json_spirit::mValue value;
    std::vector<json_spirit::mObject> objects;
    if (!ZkJson::Unserialize(text, value) || value.type() != json_spirit::array_type) {
        ADD_FAILURE() << "not a JSON array: " << text;
        return objects;
    }
    for (const json_spirit::mValue& item : value.get_array())
        if (item.type() == json_spirit::obj_type) objects.push_back(item.get_obj());
    return objects;
}

std::multiset<std::string> Field(const std::vector<json_spirit::mObject>& objects, const std::string& name) {
    std::multiset<std::string> values;
    for (const auto& object : objects) values.insert(ZkJson::GetStringValue(object, name));
    return values;
}

// The first line of a table, its header, with the runs of blanks between columns made single.
std::string Header(const std::string& table) {
    std::string line = table.substr(0, table.find('\n')), squeezed;
    for (size_t i = 0; i < line.size(); ++i)
        if (!(line[i] == ' ' && i + 2 < line.size() && line[i + 1] == ' ')) squeezed += line[i];
    return squeezed;
}

class GcsdkTest : public testsupport::EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        m_settings = Emulator().WriteClientSettings(
            m_dir.File("gcsdk.ini"), "[GoogleCloud]\nsGuidCacheFile=" + m_dir.File("guids.db") + "\n");
        m_keyFile = Key().jsonKeyFile;
    }

    // gcsdk with the emulator's settings and the suite's JSON key, given through the environment.
    Result Run(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
        env.emplace("GCSDK_SETTINGS", m_settings);
        env.emplace("GCSDK_KEY_FILE", m_keyFile);
        return Child(m_dir, args, env).Finish();
    }
    // Without any environment: everything comes from the command line.
    Result RunBare(const std::vector<std::string>& args) { return Child(m_dir, args, {}).Finish(); }

    // Names of the seed's VMs of a project that pass the filter.
    std::multiset<std::string> SeedVms(
        const std::string& projectId,
        const std::function<bool(const json_spirit::mObject&)>& keep = nullptr) {
        std::multiset<std::string> names;
        World::Txn world = Emulator().world().Lock();
        const json_spirit::mObject* project = world.SeedProject(projectId);
        const json_spirit::mArray* instances = project ? ZkJson::FindArray(*project, "instances") : nullptr;
        if (!instances) return names;
        for (const json_spirit::mValue& instance : *instances)
            if (!keep || keep(instance.get_obj()))
                names.insert(ZkJson::GetStringValue(instance.get_obj(), "name"));
        return names;
    }
    std::vector<std::string> ProjectIds() {
        std::vector<std::string> ids;
        World::Txn world = Emulator().world().Lock();
        for (const auto& entry : world.List(gcemu::collections::kProjects)) ids.push_back(entry.first);
        return ids;
    }

    TempDir m_dir;
    std::string m_settings;
    std::string m_keyFile;
};

TEST_F(GcsdkTest, UsageErrorsExitTwoWithTheUsage) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
        std::string usage;
    };
    // The parsing itself is unit-tested; here the wiring, and the checks each command makes.
    const Case cases[] = {
        {{}, "gcsdk: no command given", "usage: gcsdk [global options] <command> [options]"},
        {{"projects", "--bogus"}, "gcsdk: unknown option --bogus", "usage: gcsdk projects"},
        {{"vms", "--zone", "z", "--region", "r"},
         "gcsdk: give at most one of --zone, --region and --label",
         "usage: gcsdk vms"},
        {{"vms", "--project", "p", "--project-pattern", "p*"},
         "gcsdk: give --project or --project-pattern, not both",
         "usage: gcsdk vms"},
        {{"vms", "--project-pattern", "p*", "--zone", "z"},
         "gcsdk: --zone, --region and --label take an exact --project, not a pattern",
         "usage: gcsdk vms"},
        {{"vms", "--label", "=v"}, "gcsdk: --label takes KEY=VALUE, got '=v'", "usage: gcsdk vms"},
        {{"find"}, "gcsdk: give --guid ID, or --name NAME --project P", "usage: gcsdk find"},
        {{"find", "--name", "vm"}, "gcsdk: --name needs --project (or give --guid)", "usage: gcsdk find"},
        {{"find", "--guid", "1", "--zone", "z"},
         "gcsdk: --project and --zone go with --name alone; --guid searches every project",
         "usage: gcsdk find"},
        {{"--key-file", "k.json", "--p12", "k.p12", "projects"},
         "gcsdk: give --key-file or --p12, not both",
         "usage: gcsdk projects"},
        {{"emulator", "--port", "70000"},
         "gcsdk: --port takes a number from 0 to 65535, got '70000'",
         "usage: gcsdk emulator"},
    };
    for (const Case& c : cases) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 2) << Shown(c.args, result);
        EXPECT_EQ(result.err.rfind(c.message + "\n", 0), 0u) << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, "\n" + c.usage)) << Shown(c.args, result);
        EXPECT_EQ(result.out, "") << Shown(c.args, result);
    }

    Result noCredentials = RunBare({"projects"});
    EXPECT_EQ(noCredentials.status, 2) << Shown({"projects"}, noCredentials);
    EXPECT_TRUE(Contains(noCredentials.err, "gcsdk: no credentials: give --key-file FILE"))
        << noCredentials.err;
}

TEST_F(GcsdkTest, HelpWorksEverywhere) {
    struct Case {
        std::vector<std::string> args;
        std::string first;  // the help's first line
    };
    const Case cases[] = {
        {{"--help"}, "usage: gcsdk [global options] <command> [options]"},
        {{"help"}, "usage: gcsdk [global options] <command> [options]"},
        {{"help", "vms"},
         "usage: gcsdk vms [--project P | --project-pattern PATTERN] [--zone Z | --region R | "
         "--label KEY=VALUE]"},
        {{"find", "-h"}, "usage: gcsdk find --guid ID [--name NAME] | --name NAME --project P [--zone Z]"},
        {{"zones", "--bogus", "--help"}, "usage: gcsdk zones [--project P]"},
        {{"emulator", "--help"}, "usage: gcsdk emulator [--port N]"},
        {{"help", "disk"}, "usage: gcsdk disk <subcommand> [options]"},
        {{"disk", "attach", "-h"}, "usage: gcsdk disk attach --project P --name D --vm V --zone Z"},
        {{"restore", "--help"}, "usage: gcsdk restore --project P --config FILE --name NEW --zone Z"},
    };
    for (const Case& c : cases) {
        Result result = RunBare(c.args);
        EXPECT_EQ(result.status, 0) << Shown(c.args, result);
        EXPECT_EQ(result.out.rfind(c.first, 0), 0u) << Shown(c.args, result);
        EXPECT_EQ(result.err, "") << Shown(c.args, result);
    }
    const std::string help = RunBare({"--help"}).out;
    for (const char* command :
         {"projects", "zones", "regions", "vms", "find", "snapshot", "snapshots list", "disk from-snapshot",
          "vm stop", "buckets list", "objects list", "object get", "restore", "deploy", "demo", "emulator"})
        EXPECT_TRUE(Contains(help, "\n  " + std::string(command) + " ")) << command << "\n" << help;
}

TEST_F(GcsdkTest, RefusedSignInShowsTheLibrarysErrorAndCode) {
    // The suite's account with a key the emulator never saw.
    const std::string wrongPem = gcemu::GenerateRsaKeyPem();
    const std::string wrongKey = m_dir.Write(
        "wrong.json", gcemu::ServiceAccountJson(Key().email, wrongPem, std::string(40, 'a'), "123"));
    GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper library;
    ASSERT_FALSE(library.Connect("", Key().email, wrongPem));
    ASSERT_FALSE(library.GetLastError().empty());

    const std::vector<std::string> args = {"--key-file", wrongKey, "projects"};
    Result result = Run(args);
    EXPECT_EQ(result.status, 1) << Shown(args, result);
    EXPECT_TRUE(Contains(result.err, "gcsdk: signing in as " + Key().email + " with the key file " +
                                         wrongKey + ": " + library.GetLastError() + " (" +
                                         library.GetLastErrorCode() + ")\n"))
        << Shown(args, result) << "\nlibrary: " << library.GetLastError() << " ("
        << library.GetLastErrorCode() << ")";
    EXPECT_EQ(result.out, "");

    // Neither the key nor a PKCS#12 password ever shows, --verbose or not.
    const std::string keyLine = wrongPem.substr(wrongPem.find('\n') + 1, 40);
    const std::vector<std::string> verbose = {"--verbose", "--key-file", wrongKey, "projects"};
    result = Run(verbose);
    EXPECT_EQ(result.status, 1) << Shown(verbose, result);
    EXPECT_TRUE(Contains(result.err, "gcsdk: debug")) << "the library's debug lines: " << result.err;
    EXPECT_FALSE(Contains(result.err + result.out, keyLine)) << Shown(verbose, result);

    const std::vector<std::string> p12 = {"--verbose", "--p12",      Key().p12File,       "--email",
                                          Key().email, "--password", "wrong-Password-42", "projects"};
    result = Run(p12);
    EXPECT_EQ(result.status, 1) << Shown(p12, result);
    EXPECT_TRUE(Contains(result.err, "gcsdk: signing in as " + Key().email + " with the PKCS#12 file "))
        << result.err;
    EXPECT_FALSE(Contains(result.err + result.out, "wrong-Password-42")) << Shown(p12, result);
}

TEST_F(GcsdkTest, UnreadableKeysAndSettingsAreFailures) {
    const std::string missing = m_dir.File("missing");
    const Case cases[] = {
        {{"--key-file", missing, "projects"},
         "gcsdk: reading key file " + missing + ": No such file or directory\n"},
        // A mistyped settings file must not fall back to the real endpoints.
        {{"--settings", missing, "projects"},
         "gcsdk: settings file " + missing + ": No such file or directory\n"},
        {{"--settings", m_dir.path(), "projects"},
         "gcsdk: settings file " + m_dir.path() + ": not a regular file\n"},
    };
    for (const Case& c : cases) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 1) << Shown(c.args, result);
        EXPECT_EQ(result.err, c.err) << Shown(c.args, result);
    }
    Result result = Run({"projects"}, {{"GCSDK_SETTINGS", missing}});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "gcsdk: settings file " + missing + " (GCSDK_SETTINGS): No such file or directory\n");
}

bool HasLabel(const json_spirit::mObject& instance, const std::string& key, const std::string& value) {
    const json_spirit::mObject* labels = ZkJson::FindObject(instance, "labels");
    return labels && labels->count(key) && ZkJson::GetStringValue(*labels, key) == value;
}

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

// The object of the JSON array whose member has the value; empty when none.
json_spirit::mObject Find(const std::string& json, const std::string& member, const std::string& value) {
    for (const auto& object : JsonObjects(json))
        if (ZkJson::GetStringValue(object, member) == value) return object;
    return {};
}

// The line of the text that starts with the prefix; empty when none.
std::string LineStarting(const std::string& text, const std::string& prefix) {
    const size_t at = text.rfind('\n' + prefix) + 1;  // npos + 1 == 0 is the first line
    if (text.compare(at, prefix.size(), prefix) != 0) return "";
    return text.substr(at, text.find('\n', at) - at);
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
        m_dir.File("fresh.ini"), "[GoogleCloud]\nsGuidCacheFile=" + m_dir.File("fresh.db") + "\n");
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
        {{"vms", "--project", "gcemu-project-1", "--zone", "nosuch-zone"},
         "gcsdk: listing VMs of gcemu-project-1 in zone nosuch-zone: "},
        {{"zones", "--project", "nosuch"}, "gcsdk: listing zones of project nosuch: "},
    };
    for (const Case& c : mistyped) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 1) << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, c.err)) << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, " was not found (404)\n")) << Shown(c.args, result);
    }
}

// The emulator command: the commands it prints work against it, and Ctrl-C stops it cleanly.
TEST_F(GcsdkTest, EmulatorCommandServesUntilInterrupted) {
    Child emulator(m_dir, {"emulator", "--state-dir", m_dir.File("state")}, {});
    ASSERT_TRUE(emulator.WaitForOutput("Stop with Ctrl-C.\n")) << emulator.Out() << emulator.Err();

    // "  gcsdk --settings S --key-file K projects", run as printed.
    const std::string out = emulator.Out();
    const size_t at = out.find("\n  gcsdk --settings ");
    ASSERT_NE(at, std::string::npos) << out;
    std::vector<std::string> words;
    const std::string line = out.substr(at + 3, out.find('\n', at + 1) - at - 3);
    for (size_t from = 0; from <= line.size();) {
        const size_t space = std::min(line.find(' ', from), line.size());
        words.push_back(line.substr(from, space - from));
        from = space + 1;
    }
    ASSERT_EQ(words.size(), 6u) << line;
    EXPECT_EQ(words[1], "--settings");
    EXPECT_EQ(words[2].rfind(m_dir.File("state") + "/", 0), 0u) << line;
    EXPECT_TRUE(Contains(ReadFile(words[2]), "sGuidCacheFile=" + m_dir.File("state") + "/"))
        << "a GUID cache of its own";
    Result projects = RunBare(std::vector<std::string>(words.begin() + 1, words.end()));
    EXPECT_EQ(projects.status, 0) << projects.err;
    EXPECT_TRUE(Contains(projects.out, "\ngcemu-project-1 ")) << projects.out;

    emulator.Signal(SIGINT);
    Result stopped = emulator.Finish(std::chrono::seconds(30));
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_TRUE(Contains(stopped.err, "gcsdk: SIGINT received, emulator stopped\n")) << stopped.err;

    // A GCSDK_SETTINGS left over from an emulator that has gone does not stop the next one.
    Child json(m_dir, {"emulator", "--json"}, {{"GCSDK_SETTINGS", m_dir.File("gone/gcsdk.ini")}});
    ASSERT_TRUE(json.WaitForOutput("}\n")) << json.Err();
    json_spirit::mObject started;
    ASSERT_TRUE(ZkJson::Unserialize(json.Out(), started)) << json.Out();
    EXPECT_GT(ZkJson::GetIntValue(started, "port"), 0);
    for (const char* member : {"settingsFile", "keyFile", "p12File", "stateDir", "caFile", "account"})
        EXPECT_FALSE(ZkJson::GetStringValue(started, member).empty()) << member;
    json.Signal(SIGTERM);
    stopped = json.Finish(std::chrono::seconds(30));
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_TRUE(Contains(stopped.err, "SIGTERM received")) << stopped.err;
}

}  // namespace
