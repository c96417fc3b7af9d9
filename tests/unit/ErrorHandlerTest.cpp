// Decoding of refused requests into the shared last-error record.
#include <gtest/gtest.h>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudErrorHandler;
using GoogleCloudSDKWrapper::ZkGoogleCloudErrorState;

struct Decoding {
    const char* name;
    const char* body;
    const char* message;
    const char* code;
};

TEST(ErrorHandler, DecodesResponseBodies) {
    const Decoding cases[] = {
        {"google error", R"({"error":{"code":404,"message":"The resource 'x' was not found","errors":[]}})",
         "The resource 'x' was not found", "404"},
        {"oauth refusal", R"({"error":"invalid_grant","error_description":"Invalid JWT Signature."})",
         "Invalid JWT Signature.", "invalid_grant"},
        {"oauth refusal without description", R"({"error":"invalid_client"})", "invalid_client",
         "invalid_client"},
        {"json without error member", R"({"kind":"compute#operation"})", "", "0"},
        {"error object without code or message", R"({"error":{}})", "", "0"},
        {"mistyped code and message", R"({"error":{"code":"403","message":7}})", "", "0"},
        {"plain text keeps the code", "<html>Bad Gateway</html>", "<html>Bad Gateway</html>", "PREVIOUS"},
        {"json array is not an object", "[1,2]", "[1,2]", "PREVIOUS"},
    };
    for (const auto& c : cases) {
        ZkGoogleCloudErrorState state;
        state.errorCode = "PREVIOUS";
        state.errorMessage = "previous";
        CGoogleCloudErrorHandler handler(&state);
        handler.SetLastErrorFromResponse(c.body);
        EXPECT_EQ(state.errorMessage, c.message) << c.name;
        EXPECT_EQ(state.errorCode, c.code) << c.name;
    }
}

TEST(ErrorHandler, EmptyBodyLeavesThePreviousErrorAndHttpFieldsAreNeverTouched) {
    ZkGoogleCloudErrorState state;
    CGoogleCloudErrorHandler handler(&state);
    handler.SetHttpErrorCode(409);
    handler.SetHttpErrorMessage("CONFLICT");
    handler.SetErrorCode("ZONE_RESOURCE_POOL_EXHAUSTED");
    handler.SetErrorMessage("no capacity");

    handler.SetLastErrorFromResponse("");
    EXPECT_EQ(handler.GetErrorCode(), "ZONE_RESOURCE_POOL_EXHAUSTED");
    EXPECT_EQ(handler.GetErrorMessage(), "no capacity");

    handler.SetLastErrorFromResponse(R"({"error":{"code":400,"message":"bad"}})");
    EXPECT_EQ(handler.GetErrorCode(), "400") << "a numeric code replaces the symbolic one";
    EXPECT_EQ(state.httpErrorCode, 409);
    EXPECT_EQ(state.httpErrorMessage, "CONFLICT");
}

TEST(ErrorHandler, NullRecordIsHarmless) {
    CGoogleCloudErrorHandler handler(nullptr);
    handler.SetErrorMessage("m");
    handler.SetErrorCode("c");
    handler.SetHttpErrorCode(1);
    handler.SetHttpErrorMessage("h");
    handler.SetLastErrorFromResponse(R"({"error":{"code":404,"message":"x"}})");
    EXPECT_EQ(handler.GetErrorMessage(), "");
    EXPECT_EQ(handler.GetErrorCode(), "");
}

TEST(ErrorHandler, HandlersOfOneRecordShareIt) {
    ZkGoogleCloudErrorState state;
    CGoogleCloudErrorHandler connection(&state), queries(&state);
    connection.SetLastErrorFromResponse(R"({"error":{"code":403,"message":"denied"}})");
    EXPECT_EQ(queries.GetErrorCode(), "403");
    EXPECT_EQ(queries.GetErrorMessage(), "denied");
}

}  // namespace
