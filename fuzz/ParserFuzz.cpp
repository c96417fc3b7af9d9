// Arbitrary text through the record readers and the error-body decoder: nothing may crash, hang or
// leak, whatever a server (or something pretending to be one) sends back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "GoogleCloudErrorHandler/CGoogleCloudErrorHandler.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"

using namespace GoogleCloudSDKWrapper;

namespace {

template <typename T>
void Through(CGoogleCloudParser& parser, const std::string& text) {
    T record;
    parser.ParseObject(text, record);
    std::vector<T> records;
    parser.ParseList(text, "items", records);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CGoogleCloudParser parser;
    std::string text(reinterpret_cast<const char*>(data), size);
    Through<SVMInfoLib>(parser, text);
    Through<SDiskInfoLib>(parser, text);
    Through<SZoneInfoLib>(parser, text);
    Through<SNetworkInfoLib>(parser, text);
    Through<SSubnetInfoLib>(parser, text);
    SOperationInfoLib operation;
    parser.ParseObject(text, operation);

    ZkGoogleCloudErrorState state;
    CGoogleCloudErrorHandler(&state).SetLastErrorFromResponse(text);
    return 0;
}
