// Compute Engine operations and the setLabels body.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/MappingTestSupport.h"

using namespace GoogleCloudSDKWrapper;

namespace {

std::string Text(const SOperationInfoLib& o) {
    std::string text = o.name + "|" + o.selfLink + "|" + o.user + "|" + o.operationType + "|" + o.zone + "|" +
                       o.targetLink + "|" + o.targetId + "|" + o.status + "|" + o.httpErrorMessage + "|" +
                       std::to_string(o.httpErrorStatusCode);
    for (const SOperationErrorInfoLib& e : o.errors) text += "|" + e.code + ":" + e.message;
    return text;
}

TEST(OperationReader, Captures) {
    for (const std::string& file : mappingtest::Fixtures("compute", {"operation"}))
        EXPECT_FALSE(mappingtest::ParseFixture<SOperationInfoLib>(file, "operations").empty()) << file;

    const std::string zone =
        "https://www.googleapis.com/compute/v1/projects/project_name/zones/europe-west1-a";
    mappingtest::ExpectFields<SOperationInfoLib>(
        "compute/operation-done-error-already-exists.json",
        {{0, Text,
          "operation-zones_europe-west1-a_instances_post|" + zone +
              "/operations/"
              "operation-zones_europe-west1-a_instances_post|897001307951@developer.gserviceaccount.com|"
              "insert|" +
              zone + "|" + zone +
              "/instances/libcloud-demo-europe-np-node|14308265828754333159|DONE|CONFLICT|409|"
              "RESOURCE_ALREADY_EXISTS:The resource 'projects/project_name/zones/europe-west1-a/instances/"
              "libcloud-demo-europe-np-node' already exists"}});
    // A regional operation has no zone; the target id keeps its leading zero.
    mappingtest::ExpectFields<SOperationInfoLib>("compute/operation-regional-insert-done.json",
                                                 {{0,
                                                   [](const SOperationInfoLib& o) {
                                                       return o.zone + "|" + o.targetId + "|" +
                                                              std::to_string(o.errors.size());
                                                   },
                                                   "|01531551729918243104|0"}});
    mappingtest::ExpectFields<SOperationInfoLib>(
        "compute/operations-aggregated-error-not-found.json",
        {{0,
          [](const SOperationInfoLib& o) {
              return o.status + "|" + std::to_string(o.httpErrorStatusCode) + "|" + o.errors.at(0).code;
          },
          "DONE|404|RESOURCE_NOT_FOUND"}},
        "operations");
}

TEST(OperationReader, EveryErrorInOrderAndALaterPollReplacesThem) {
    CGoogleCloudParser parser;
    SOperationInfoLib o;
    ASSERT_TRUE(parser.ParseObject(R"({"status": "DONE", "httpErrorStatusCode": 503, "error": {"errors": [
        {"code": "ZONE_RESOURCE_POOL_EXHAUSTED", "message": "m1"}, "stray", {"code": "QUOTA_EXCEEDED"},
        {"message": "m3", "location": "x"}]}})",
                                   o));
    EXPECT_EQ("|||||||DONE||503|ZONE_RESOURCE_POOL_EXHAUSTED:m1|QUOTA_EXCEEDED:|:m3", Text(o));
    ASSERT_TRUE(parser.ParseObject(R"({"status": "DONE", "error": {"errors": [{"code": "C"}]}})", o));
    EXPECT_EQ("|||||||DONE||0|C:", Text(o));
}

TEST(LabelWriter, Bodies) {
    const std::pair<std::vector<SKeyValueInfoLib>, const char*> cases[] = {
        {{}, R"({"labelFingerprint":"fp","labels":{}})"},
        {{{"env", "prod"}, {"app", "db"}}, R"({"labelFingerprint":"fp","labels":{"app":"db","env":"prod"}})"},
        {{{"k", "first"}, {"a", ""}, {"k", "second"}},
         R"({"labelFingerprint":"fp","labels":{"a":"","k":"second"}})"},
    };
    for (const auto& [pairs, expected] : cases) {
        SLabelInfoLib labels{pairs, "fp"};
        std::string body;
        ASSERT_TRUE(CGoogleCloudParser().GetRequestBody(labels, body));
        EXPECT_EQ(expected, body);
    }
}

}  // namespace
