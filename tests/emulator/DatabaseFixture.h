// The database families' tests (Cloud SQL Admin, Cloud Spanner, Dataflow): one emulator for the suite on
// the built-in world, reset before every test, a signed-in HTTPS client, and Google's discovery
// documents to hold the answers against.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "emulator/Emulator.h"
#include "host/ZkJson.h"
#include "tests/support/DiscoverySchema.h"
#include "tests/support/EmulatorHttpClient.h"

namespace dbtest {

using json_spirit::mArray;
using json_spirit::mObject;
using testsupport::HttpReply;

constexpr char kSql[] = "sqladmin.googleapis.com";
constexpr char kSpanner[] = "spanner.googleapis.com";
constexpr char kDataflow[] = "dataflow.googleapis.com";
constexpr char kStorage[] = "storage.googleapis.com";
constexpr char kControl[] = "localhost";

// The built-in world's names, which gcsdk and the demo use too.
constexpr char kSqlProject[] = "gcemu-project-2";
constexpr char kSpannerProject[] = "gcemu-project-1";
constexpr char kInstance[] = "projects/gcemu-project-1/instances/gcemu-spanner";
inline const std::string kInstancePath = std::string("/v1/") + kInstance;

inline std::string Text(const mObject& object, const std::string& key) {
    return ZkJson::GetStringValue(object, key);
}

inline const mObject& Obj(const mObject& object, const std::string& key) {
    return object.at(key).get_obj();
}

inline std::set<std::string> Names(const mObject& list, const std::string& key) {
    std::set<std::string> names;
    if (const mArray* items = ZkJson::FindArray(list, key))
        for (const auto& item : *items) names.insert(Text(item.get_obj(), "name"));
    return names;
}

// Google's error body: the status and message; with a status name for the APIs that send one.
inline void ExpectError(const HttpReply& reply, int status, const std::string& message,
                        const std::string& statusName = "") {
    EXPECT_EQ(status, reply.status) << reply.body;
    EXPECT_EQ(message, reply.ErrorMessage()) << reply.body;
    const mObject* error = ZkJson::FindObject(reply.json, "error");
    ASSERT_TRUE(error) << reply.body;
    EXPECT_EQ(statusName, Text(*error, "status"));
}

class DatabaseTest : public ::testing::Test {
public:
    static gcemu::Emulator& emulator() { return *s_emulator; }
    static testsupport::EmulatorHttpClient& client() { return *s_client; }

protected:
    static void SetUpTestSuite() {
        s_emulator = std::make_unique<gcemu::Emulator>();
        s_emulator->Start();
        s_client = std::make_unique<testsupport::EmulatorHttpClient>(
            *s_emulator, "agent@gcemu-project-1.iam.gserviceaccount.com");
    }
    static void TearDownTestSuite() {
        s_client.reset();
        s_emulator.reset();
    }
    void SetUp() override { emulator().ResetWorld(); }

    // Members the document's schema does not declare, and members of the wrong type.
    static std::string SchemaProblems(const char* document, const mObject& body, const std::string& schema) {
        static std::map<std::string, testsupport::DiscoveryDocument> loaded;
        testsupport::DiscoveryDocument& doc = loaded[document];
        if (doc.FindSchema(schema) == nullptr) {
            std::string error;
            EXPECT_TRUE(doc.Load(std::string(GCSDK_DISCOVERY_DIR) + "/" + document, &error)) << error;
        }
        std::string problems;
        const testsupport::SchemaReport report = doc.CheckBody(body, schema);
        for (const std::string& key : report.unknownKeys) problems += "unknown " + key + "; ";
        for (const std::string& wrong : report.wrongTypes) problems += wrong + "; ";
        return problems;
    }

    inline static std::unique_ptr<gcemu::Emulator> s_emulator;
    inline static std::unique_ptr<testsupport::EmulatorHttpClient> s_client;
};

}  // namespace dbtest
