// The emulator's parts on their own: world files, starting and stopping, reading requests, and routing.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "emulator/Emulator.h"
#include "emulator/Router.h"
#include "host/ZKLibCurl.h"
#include "host/ZkJson.h"
#include "tests/support/TempDir.h"

namespace {

using json_spirit::mObject;
using std::chrono::steady_clock;

mObject ParseObject(const std::string& text) {
    mObject object;
    EXPECT_TRUE(ZkJson::Unserialize(text, object)) << text;
    return object;
}

gcemu::FaultRule Fault(const std::string& prefix, gcemu::FaultKind kind = gcemu::FaultKind::kStatus,
                       int count = 1) {
    gcemu::FaultRule rule;
    rule.hostAndPathPrefix = prefix;
    rule.kind = kind;
    rule.count = count;
    return rule;
}

// A world file seeds the projects and Compute's view of them.
TEST(EmulatorWorldTest, WorldFileSeedsProjects) {
    const testsupport::TempDir dir;
    const std::string world = dir.Write("world.json", R"({"projects":[
        {"projectId":"host-project","projectNumber":123456,"labels":{"team":"a"},
         "compute":{"xpnProjectStatus":"HOST",
                    "commonInstanceMetadata":{"items":[{"key":"enable-oslogin","value":"TRUE"}]}}},
        {"projectId":"plain"}]})");
    gcemu::Emulator::Options options;
    options.worldFile = world;
    options.stateDir = dir.File("state");
    gcemu::Emulator emulator(options);
    gcemu::World::Txn txn = emulator.world().Lock();
    const mObject* project = txn.FindProject("host-project");
    ASSERT_NE(nullptr, project);
    EXPECT_EQ("123456", ZkJson::GetStringValue(*project, "projectNumber"));
    EXPECT_EQ("ACTIVE", ZkJson::GetStringValue(*project, "lifecycleState"));
    EXPECT_EQ("host-project", ZkJson::GetStringValue(*project, "name"));
    const mObject* compute = txn.Find(gcemu::collections::kComputeProjects, "host-project");
    ASSERT_NE(nullptr, compute);
    EXPECT_EQ("HOST", ZkJson::GetStringValue(*compute, "xpnProjectStatus"));
    EXPECT_EQ("123456-compute@developer.gserviceaccount.com",
              ZkJson::GetStringValue(*compute, "defaultServiceAccount"));
    const mObject& metadata = compute->at("commonInstanceMetadata").get_obj();
    EXPECT_EQ("compute#metadata", ZkJson::GetStringValue(metadata, "kind"));
    EXPECT_EQ(12u, ZkJson::GetStringValue(metadata, "fingerprint").size());
    ASSERT_NE(nullptr, txn.Find(gcemu::collections::kComputeProjects, "plain"));
    EXPECT_EQ(nullptr, txn.FindProject("gcemu-project-1"));

    for (const char* bad : {R"({"projects":{}})", R"({"projects":[{"name":"no id"}]})",
                            R"({"projects":[{"projectId":"a"},{"projectId":"a"}]})", "[]", "not json"}) {
        SCOPED_TRACE(bad);
        options.worldFile = dir.Write("bad.json", bad);
        EXPECT_ANY_THROW(gcemu::Emulator{options});
    }
}

// A misspelt member anywhere in a world file stops the emulator with the entry named, rather than
// leaving out what it was meant to hold.
TEST(EmulatorWorldTest, UnknownMembersAreErrorsEverywhere) {
    const std::string vm = R"({"name": "vm", "zone": "us-central1-a", "bootDisk": )"
                           R"({"sourceImage": "projects/debian-cloud/global/images/family/debian-12"})";
    const std::pair<std::string, std::string> cases[] = {
        {R"({"projects": [], "projetcs": []})", "world: the top level: unknown member 'projetcs'"},
        {R"({"projects": [{"projectId": "p", "dsks": []}]})", "world: project p: unknown member 'dsks'"},
        {R"({"projects": [{"projectId": "p", "parent": {"type": "folder", "id": "1", "name": "f"}}]})",
         "world: project p: parent: unknown member 'name'"},
        {R"({"projects": [{"projectId": "p", "compute": {"xpnStatus": "HOST"}}]})",
         "world: project p: compute: unknown member 'xpnStatus'"},
        {R"({"locations": {"regions": [], "zones": []}, "projects": []})",
         "world: locations: unknown member 'zones'"},
        {R"({"imageProjects": [{"projectId": "x-cloud", "licences": []}], "projects": []})",
         "world: imageProjects[0]: unknown member 'licences'"},
        {R"({"projects": [{"projectId": "p", "networks": [{"name": "default"}], "instances": [)" + vm +
             R"(, "networkInterfaces": [{"network": "default", "accessConfigs": [{"nat": "1.2.3.4"}]}]}]}]})",
         "world: project p: instances[0] (vm): networkInterfaces[0]: accessConfigs: unknown member 'nat'"},
        {R"({"projects": [{"projectId": "p", "networks": [{"name": "default"}], "instances": [)" + vm +
             R"(, "sheduling": {}}]}]})",
         "world: project p: instances[0] (vm): unknown member 'sheduling'"},
    };
    const testsupport::TempDir dir;
    gcemu::Emulator::Options options;
    options.stateDir = dir.File("state");
    for (const auto& [world, message] : cases) {
        SCOPED_TRACE(world);
        options.worldFile = dir.Write("typo.json", world);
        try {
            gcemu::Emulator emulator(options);
            ADD_FAILURE() << "the world loaded";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(message, error.what());
        }
    }
}

// Stop must not wait for a stalled request or for connections idling in keep-alive.
TEST(EmulatorLifecycleTest, StopEndsStallsAndIdleConnectionsPromptly) {
    testsupport::TempDir dir;
    const std::string journalFile = dir.File("journal.jsonl");
    // The variable is read when the emulator is made; a run-wide value comes back right after.
    const char* runWide = std::getenv("GCEMU_JOURNAL_FILE");
    const std::string previous = runWide ? runWide : "";
    ::setenv("GCEMU_JOURNAL_FILE", journalFile.c_str(), 1);
    gcemu::Emulator emulator;
    if (runWide) {
        ::setenv("GCEMU_JOURNAL_FILE", previous.c_str(), 1);
    } else {
        ::unsetenv("GCEMU_JOURNAL_FILE");
    }
    emulator.Start();
    const int port = emulator.Port();
    testsupport::ScopedSettings settings(testsupport::ReadFile(emulator.WriteClientSettings()));

    ZKLibCurl idle;  // keeps its connection open after the request
    ASSERT_TRUE(idle.ZKLibCurlInit("", true, true, nullptr));
    idle.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET, "https://compute.googleapis.com/compute/v1/projects/x/",
                              nullptr, 0, false, nullptr);
    EXPECT_EQ(401, idle.GetHttpErrorCode());

    gcemu::FaultRule stall = Fault("compute.googleapis.com/", gcemu::FaultKind::kStall);
    stall.stallMs = 60000;
    emulator.faults().Add(stall);
    std::thread stalled([] {
        ZKLibCurl client;
        client.ZKLibCurlInit("", true, true, nullptr);
        client.ZKLibCurlSendHttpReq(ZKLibCurl::REQ_GET,
                                    "https://compute.googleapis.com/compute/v1/projects/y/", nullptr, 0,
                                    false, nullptr);
    });
    for (int i = 0; i < 2000 && emulator.faults().Pending() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto start = steady_clock::now();
    emulator.Stop();
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(3));
    stalled.join();
    EXPECT_FALSE(emulator.IsRunning());

    // The journal went to the file named by GCEMU_JOURNAL_FILE, a JSON object per line.
    const std::string lines = testsupport::ReadFile(journalFile);
    ASSERT_EQ(2, std::count(lines.begin(), lines.end(), '\n')) << lines;
    const mObject first = ParseObject(lines.substr(0, lines.find('\n')));
    EXPECT_EQ("/compute/v1/projects/x/", ZkJson::GetStringValue(first, "path"));
    EXPECT_EQ(401, ZkJson::GetIntValue(first, "status"));

    // Restartable, with the same CA.
    emulator.Start();
    httplib::SSLClient client("127.0.0.1", emulator.Port());
    client.set_ca_cert_path(emulator.CaFile().c_str());
    client.enable_server_certificate_verification(true);
    EXPECT_TRUE(client.Get("/_gcemu/journal"));
    (void)port;
}

// A second emulator on a port in use must fail rather than share it: its clients would meet the other
// one's certificate.
TEST(EmulatorLifecycleTest, APortInUseIsRefusedWithTheReason) {
    gcemu::Emulator first;
    first.Start();
    gcemu::Emulator::Options options;
    options.port = first.Port();
    gcemu::Emulator second(options);
    const std::string expected =
        "cannot listen on 127.0.0.1:" + std::to_string(first.Port()) + ": the port is in use";
    try {
        second.Start();
        ADD_FAILURE() << "the second emulator listens on the first one's port";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(expected, error.what());
    }
    EXPECT_FALSE(second.IsRunning());

    // Every connection still reaches the first, whose CA its clients trust.
    for (int i = 0; i < 4; ++i) {
        httplib::SSLClient client("127.0.0.1", first.Port());
        client.set_ca_cert_path(first.CaFile().c_str());
        client.enable_server_certificate_verification(true);
        const auto result = client.Get("/_gcemu/journal");
        ASSERT_TRUE(result) << httplib::to_string(result.error());
        EXPECT_EQ(200, result->status);
    }

    // Once the first has stopped, the port is free for another.
    first.Stop();
    second.Start();
    EXPECT_EQ(options.port, second.Port());
}

// A control request whose options are all optional may come without a body: with Content-Length: 0,
// or with no Content-Length at all (curl -X POST), which is no body either.
TEST(EmulatorControlApiTest, NoBodyMeansNoOptions) {
    gcemu::Emulator emulator;
    emulator.Start();
    struct Reply {
        long status = 0;
        std::string body;
    };
    const auto send = [&emulator](const std::string& method, const std::string& path, bool contentLength) {
        Reply reply;
        CURL* curl = curl_easy_init();
        const std::string url = "https://localhost:" + std::to_string(emulator.Port()) + path;
        const std::string ca = emulator.CaFile();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
        if (contentLength) {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, 0L);
        }
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);  // only against a hang
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
        curl_easy_setopt(
            curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* out) {
                static_cast<std::string*>(out)->append(data, size * count);
                return size * count;
            });
        const CURLcode code = curl_easy_perform(curl);
        EXPECT_EQ(CURLE_OK, code) << curl_easy_strerror(code);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
        curl_easy_cleanup(curl);
        return reply;
    };
    struct Case {
        const char* method;
        const char* path;
        int status;
        const char* body;
    };
    const Case cases[] = {
        {"POST", "/_gcemu/reset", 200, "{}"},
        {"POST", "/_gcemu/operations/finish", 200, "{}"},
        {"DELETE", "/_gcemu/faults", 200, "{}"},
        {"DELETE", "/_gcemu/operations/faults", 200, "{}"},
        {"DELETE", "/_gcemu/journal", 200, "{}"},
        // Where the body is required, its absence is said, not waited for.
        {"POST", "/_gcemu/operations/polls", 400, "\"pollsUntilDone\" must be a number"},
        {"POST", "/_gcemu/service-accounts", 400, "an account needs an \"email\" with an '@'"},
    };
    for (const bool contentLength : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.method) + " " + c.path +
                         (contentLength ? " Content-Length: 0" : " no body"));
            const Reply reply = send(c.method, c.path, contentLength);
            EXPECT_EQ(c.status, reply.status) << reply.body;
            if (c.status == 200) {
                EXPECT_EQ(c.body, reply.body);
            } else {
                EXPECT_EQ(c.body,
                          ZkJson::GetStringValue(ParseObject(reply.body).at("error").get_obj(), "message"));
            }
        }
    }
}

TEST(EmulatorRouterTest, TemplatesMatchAndCapture) {
    gcemu::Router router;
    const std::vector<std::string> compute = {"compute.googleapis.com"};
    router.Add(compute, "GET", "/compute/v1/projects/{project}/?", nullptr);
    router.Add(compute, "GET", "/compute/v1/projects/{project}/zones/{zone}/instances/{instance}", nullptr);
    router.Add({"cloudkms.googleapis.com"}, "POST", "/v1/{name}:encrypt", nullptr);
    router.Add({"storage.googleapis.com"}, "GET", "/storage/v1/b/{bucket}/o/{object=**}", nullptr);
    struct Case {
        const char* host;
        const char* method;
        const char* path;
        const char* pathTemplate;  // null: no route
        std::map<std::string, std::string> params;
    };
    const Case cases[] = {
        {"compute.googleapis.com",
         "GET",
         "/compute/v1/projects/p1",
         "/compute/v1/projects/{project}/?",
         {{"project", "p1"}}},
        {"compute.googleapis.com",
         "GET",
         "/compute/v1/projects/p1/",
         "/compute/v1/projects/{project}/?",
         {{"project", "p1"}}},
        {"compute.googleapis.com",
         "GET",
         "/compute/v1/projects/p%201/",
         "/compute/v1/projects/{project}/?",
         {{"project", "p 1"}}},
        {"compute.googleapis.com", "GET", "/compute/v1/projects/", nullptr, {}},
        {"compute.googleapis.com", "GET", "/compute/v1/projects/p1//", nullptr, {}},
        {"compute.googleapis.com", "GET", "/compute/v1/projects/p1/zones", nullptr, {}},
        {"compute.googleapis.com", "POST", "/compute/v1/projects/p1", nullptr, {}},
        {"www.googleapis.com", "GET", "/compute/v1/projects/p1", nullptr, {}},
        {"compute.googleapis.com",
         "GET",
         "/compute/v1/projects/p/zones/z/instances/i",
         "/compute/v1/projects/{project}/zones/{zone}/instances/{instance}",
         {{"project", "p"}, {"zone", "z"}, {"instance", "i"}}},
        {"compute.googleapis.com", "GET", "/compute/v1/projects/p/zones/z/instances/i/", nullptr, {}},
        {"cloudkms.googleapis.com", "POST", "/v1/key%2F1:encrypt", "/v1/{name}:encrypt", {{"name", "key/1"}}},
        {"cloudkms.googleapis.com", "POST", "/v1/:encrypt", nullptr, {}},
        {"cloudkms.googleapis.com", "POST", "/v1/key:decrypt", nullptr, {}},
        {"storage.googleapis.com",
         "GET",
         "/storage/v1/b/bk/o/a/b%20c",
         "/storage/v1/b/{bucket}/o/{object=**}",
         {{"bucket", "bk"}, {"object", "a/b c"}}},
        {"storage.googleapis.com", "GET", "/storage/v1/b/bk/o", nullptr, {}},
        {"storage.googleapis.com",
         "GET",
         "/storage/v1/b/bk/o//a//b+c%2Fd/",
         "/storage/v1/b/{bucket}/o/{object=**}",
         {{"bucket", "bk"}, {"object", "/a//b+c/d/"}}},  // empty segments kept, decoded once
        {"storage.googleapis.com", "GET", "/storage/v1/b/bk/o/", nullptr, {}},  // never an empty capture
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.host + c.path);
        gcemu::Request request;
        request.host = c.host;
        request.method = c.method;
        request.path = c.path;
        const gcemu::Route* route = router.Match(request);
        if (!c.pathTemplate) {
            EXPECT_EQ(nullptr, route);
            continue;
        }
        ASSERT_NE(nullptr, route);
        EXPECT_EQ(c.pathTemplate, route->pathTemplate);
        EXPECT_EQ(c.params, request.params);
    }
    for (const char* bad : {"no/slash", "/a/{unclosed", "/a/{}", "/a/{x=**}/b", "/a/{x}{y}", "/a/b}"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(router.Add(compute, "GET", bad, nullptr), std::invalid_argument);
    }
}

}  // namespace
