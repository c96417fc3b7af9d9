// ZkJson text: any bytes are accepted or refused without a crash, what is accepted comes back the
// same through the writer, and the streaming reader agrees with the tree reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "fuzz/FuzzSupport.h"
#include "host/ZkJson.h"

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

class CountingSink : public ZkJson::IArrayElementSink {
public:
    void Begin() override { count = 0; }
    void Element(mValue& element) override {
        ++count;
        written += ZkJson::Serialize(element).size();
    }
    size_t count = 0;
    size_t written = 0;
};

void RoundTrip(const mValue& value) {
    const std::string written = ZkJson::Serialize(value);
    mValue again;
    FUZZ_CHECK(ZkJson::Unserialize(written, again));
    FUZZ_CHECK(again == value);
    FUZZ_CHECK(ZkJson::Serialize(again) == written);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzzsupport::Text(data, size);

    mValue value;
    const bool parsed = ZkJson::Unserialize(text, value);
    if (parsed) RoundTrip(value);

    mObject object;
    const bool isObject = ZkJson::Unserialize(text, object);
    FUZZ_CHECK(isObject == (parsed && value.type() == json_spirit::obj_type));

    mObject rest;
    CountingSink sink;
    bool sawItems = false;
    FUZZ_CHECK(ZkJson::UnserializeStreaming(text, "items", rest, sink, sawItems) == isObject);
    if (isObject) {
        const mArray* items = ZkJson::FindArray(object, "items");
        FUZZ_CHECK(sawItems == (items != nullptr));
        mObject expected = object;
        if (items) {
            FUZZ_CHECK(sink.count == items->size());
            expected.erase("items");
        }
        FUZZ_CHECK(rest == expected);
    }

    std::unordered_map<std::string, std::string> map;
    if (ZkJson::ConvertFromJsonToMap(text, map)) {
        std::string written;
        FUZZ_CHECK(ZkJson::ConvertFromMapToJson(map, written));
        std::unordered_map<std::string, std::string> again;
        FUZZ_CHECK(ZkJson::ConvertFromJsonToMap(written, again));
        FUZZ_CHECK(again == map);
    }
    return 0;
}
