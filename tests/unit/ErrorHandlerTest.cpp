// Decoding of refused requests into the shared last-error record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "GoogleCloudErrorHandler/GoogleErrorBody.h"

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
        {"oauth refusal with an empty error is no refusal", R"({"error":"","error_description":"x"})", "",
         "0"},
        {"json without error member", R"({"kind":"compute#operation"})", "", "0"},
        {"error object without code or message", R"({"error":{}})", "", "0"},
        {"mistyped code and message", R"({"error":{"code":"403","message":7}})", "", "0"},
        {"plain text keeps the code", "<html>Bad Gateway</html>", "<html>Bad Gateway</html>", "PREVIOUS"},
        // Cloud Storage's XML API: its message, and the HTTP status the transport recorded stays the code.
        {"xml api error",
         "<?xml version='1.0' encoding='UTF-8'?><Error><Code>NoSuchKey</Code><Message>The specified key "
         "does not exist.</Message><Details>No such object: b/o &amp; p</Details></Error>",
         "The specified key does not exist.", "PREVIOUS"},
        {"xml entities", "<Error><Code>X</Code><Message>a &lt;b&gt; &amp; &quot;c&quot;</Message></Error>",
         "a <b> & \"c\"", "PREVIOUS"},
        {"xml that is no error document", "<ListBucketResult><Name>b</Name></ListBucketResult>",
         "<ListBucketResult><Name>b</Name></ListBucketResult>", "PREVIOUS"},
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

// Every captured error body of Google's APIs gives its message and, as its file name says, its code.
TEST(ErrorHandler, ReadsEveryCapturedGoogleErrorBody) {
    size_t read = 0;
    for (const auto& entry : std::filesystem::directory_iterator(GCSDK_FIXTURES_DIR "/errors")) {
        std::ifstream file(entry.path());
        std::stringstream body;
        body << file.rdbuf();
        const auto error = GoogleCloudSDKWrapper::ReadGoogleErrorBody(body.str());
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(error.kind, GoogleCloudSDKWrapper::GoogleErrorBody::Kind::kJson) << name;
        EXPECT_FALSE(error.message.empty()) << name;
        EXPECT_EQ(error.code, name.substr(0, 3)) << name;
        ++read;
    }
    EXPECT_GE(read, 10u);
    for (const char* notAnError : {"", "{}", "{\"error\":{\"code\":500}}", "<html>502</html>", "[1]"})
        EXPECT_EQ(GoogleCloudSDKWrapper::ReadGoogleErrorBody(notAnError).kind,
                  GoogleCloudSDKWrapper::GoogleErrorBody::Kind::kNone)
            << notAnError;
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
