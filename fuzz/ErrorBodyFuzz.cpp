// Error bodies through SetLastErrorFromResponse: any text a refused request comes back with. Beyond
// not crashing, the error record must say what the decoder read, and keep the transport's code when
// the body carries none.
#include <cstddef>
#include <cstdint>
#include <string>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "GoogleCloudErrorHandler/GoogleErrorBody.h"
#include "fuzz/FuzzSupport.h"
#include "host/ZkJson.h"

using namespace GoogleCloudSDKWrapper;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzzsupport::Text(data, size);
    const char kStatus[] = "503";
    const char kStatusLine[] = "HTTP/1.1 503 Service Unavailable";

    // What the transport recorded before the caller decodes the body.
    ZkGoogleCloudErrorState state;
    state.errorCode = kStatus;
    state.errorMessage = kStatusLine;
    CGoogleCloudErrorHandler(&state).SetLastErrorFromResponse(body);
    CGoogleCloudErrorHandler(nullptr).SetLastErrorFromResponse(body);

    const GoogleErrorBody decoded = ReadGoogleErrorBody(body);
    json_spirit::mObject object;
    const bool isJson = ZkJson::Unserialize(body, object);
    if (body.empty()) {
        FUZZ_CHECK(state.errorCode == kStatus && state.errorMessage == kStatusLine);
    } else if (decoded.kind == GoogleErrorBody::Kind::kXml) {
        FUZZ_CHECK(state.errorCode == kStatus && state.errorMessage == decoded.message);
    } else if (decoded.kind == GoogleErrorBody::Kind::kOAuth) {
        FUZZ_CHECK(state.errorCode == decoded.code && state.errorMessage == decoded.message);
    } else if (decoded.kind == GoogleErrorBody::Kind::kJson) {
        FUZZ_CHECK(state.errorMessage == decoded.message && !decoded.message.empty());
    } else if (!isJson) {
        FUZZ_CHECK(state.errorCode == kStatus && state.errorMessage == body);
    }
    FUZZ_CHECK(!state.errorCode.empty());
    return 0;
}
