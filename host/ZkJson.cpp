#include "ZkJson.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <exception>
#include <type_traits>
#include <utility>
#include <vector>

#include "HbDebug.h"
#include "host/detail/Utf8.h"

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

// Bounds both building and destroying a parsed tree, which recurse per level.
constexpr size_t kMaxDepth = 256;

// Numbers come as text and are converted by std::from_chars, which rounds correctly: the reader's own
// full-precision conversion crashes on some tiny numbers (e.g. -1.7923618157463536511158e-330).
// Encoding is checked per string by host::utf8::IsValid (ASCII runs eight bytes at a time) rather than by the
// reader's byte-by-byte validation, which costs more than the rest of the parse.
constexpr unsigned kParseFlags = rapidjson::kParseFullPrecisionFlag | rapidjson::kParseIterativeFlag |
                                 rapidjson::kParseNumbersAsStringsFlag;

// from_chars reports both overflow and underflow as out of range; tell them apart by the decimal
// exponent of the first significant digit, which is far below zero for the one, far above for the other.
bool TooSmallForDouble(const char* p, const char* end) {
    if (p < end && *p == '-') ++p;
    long magnitude = 0;
    if (p < end && *p != '0') {
        for (; p < end && *p >= '0' && *p <= '9'; ++p) ++magnitude;
    } else {
        ++p;
        if (p < end && *p == '.') {
            for (++p; p < end && *p == '0'; ++p) --magnitude;
            --magnitude;
        }
    }
    while (p < end && *p != 'e' && *p != 'E') ++p;
    if (p == end) return magnitude < 0;
    ++p;
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    long exponent = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (exponent < 1000000) exponent = exponent * 10 + (*p - '0');
    }
    return magnitude + (negative ? -exponent : exponent) < 0;
}

// RapidJSON's SAX handler that builds the value model in place: each container is created empty in
// its parent and filled through a pointer, so nested containers are never copied or moved.
//
// It can also stream one array member of the top-level object: each element of that array is handed to
// a sink as soon as it is complete and then dropped, so a long list never exists as a whole tree.
class ValueBuilder {
public:
    explicit ValueBuilder(mValue& root) : m_root(root) {}
    ValueBuilder(mValue& root, const std::string& streamedKey, ZkJson::IArrayElementSink& sink,
                 bool& sawArray)
        : m_root(root), m_streamedKey(&streamedKey), m_sink(&sink), m_sawArray(&sawArray) {}

    bool Null() { return Add(json_spirit::Null()); }
    bool Bool(bool b) { return Add(b); }
    // The reader's interface; with numbers as text only RawNumber is called.
    bool Int(int i) { return Add(i); }
    bool Uint(unsigned u) { return Add(u); }
    bool Int64(int64_t i) { return Add(i); }
    bool Uint64(uint64_t u) { return Add(u); }
    bool Double(double d) { return Add(d); }

    // The reader has checked the syntax already.
    bool RawNumber(const char* str, rapidjson::SizeType length, bool) {
        const char* end = str + length;
        if (std::find_if(str, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) == end) {
            if (*str == '-') {
                int64_t i;
                if (std::from_chars(str, end, i).ec == std::errc()) return Add(i);
            } else {
                uint64_t u;
                if (std::from_chars(str, end, u).ec == std::errc()) return Add(u);
            }
        }
        double d;
        std::errc ec = std::from_chars(str, end, d).ec;
        if (ec == std::errc::result_out_of_range && TooSmallForDouble(str, end)) {
            return Add(*str == '-' ? -0.0 : 0.0);
        }
        return ec == std::errc() && Add(d);
    }

    // Strict UTF-8: also refuses an encoded surrogate, which a lone \uDC00-\uDFFF escape decodes to.
    bool String(const char* str, rapidjson::SizeType length, bool) {
        return host::utf8::IsValid(str, length) && Add(std::string(str, length));
    }

    bool Key(const char* str, rapidjson::SizeType length, bool) {
        if (!host::utf8::IsValid(str, length)) {
            return false;
        }
        m_key.assign(str, length);
        return true;
    }

    bool StartObject() { return Open(mObject()); }
    bool EndObject(rapidjson::SizeType) { return Close(); }
    bool StartArray() { return StartsStreamedArray() ? OpenStreamedArray() : Open(mArray()); }
    bool EndArray(rapidjson::SizeType) { return Close(); }

    bool DepthExceeded() const { return m_depthExceeded; }
    // What the sink threw, if it did; the parse stopped there.
    std::exception_ptr SinkError() const { return m_sinkError; }

private:
    struct Frame {
        mObject* object;
        mArray* array;
        bool streamed = false;  // the array whose elements go to the sink
    };

    bool StartsStreamedArray() const {
        return m_sink && m_stack.size() == 1 && m_stack.back().object && m_key == *m_streamedKey;
    }

    // A later member of the same name replaces an earlier one, so a second array starts the list again.
    bool OpenStreamedArray() {
        m_stack.back().object->erase(m_key);
        *m_sawArray = true;
        m_scratch.clear();
        if (!Deliver([this] { m_sink->Begin(); })) return false;
        m_stack.push_back(Frame{nullptr, &m_scratch, true});
        return true;
    }

    // Hands the element just completed in the streamed array to the sink, then drops it.
    bool DeliverIfComplete() {
        if (m_stack.empty() || !m_stack.back().streamed || m_scratch.empty()) return true;
        bool delivered = Deliver([this] { m_sink->Element(m_scratch.back()); });
        m_scratch.clear();
        return delivered;
    }

    template <typename Call>
    bool Deliver(Call call) {
        try {
            call();
            return true;
        } catch (...) {
            m_sinkError = std::current_exception();
            return false;
        }
    }

    template <typename T>
    mValue* Place(T&& value) {
        if (m_stack.empty()) {
            m_root = mValue(std::forward<T>(value));
            return &m_root;
        }
        Frame& top = m_stack.back();
        if (top.array != nullptr) {
            return &top.array->emplace_back(std::forward<T>(value));
        }
        if (m_sink && m_stack.size() == 1 && m_key == *m_streamedKey) *m_sawArray = false;
        auto placed = top.object->try_emplace(std::move(m_key), std::forward<T>(value));
        if (!placed.second) {
            placed.first->second = mValue(std::forward<T>(value));  // duplicate name: the last one wins
        }
        return &placed.first->second;
    }

    template <typename T>
    bool Add(T&& value) {
        Place(std::forward<T>(value));
        return DeliverIfComplete();
    }

    template <typename Container>
    bool Open(Container&& empty) {
        if (m_stack.size() >= kMaxDepth) {
            m_depthExceeded = true;
            return false;
        }
        mValue* slot = Place(std::forward<Container>(empty));
        if constexpr (std::is_same_v<Container, mObject>) {
            m_stack.push_back(Frame{&slot->get_obj(), nullptr});
        } else {
            m_stack.push_back(Frame{nullptr, &slot->get_array()});
        }
        return true;
    }

    bool Close() {
        m_stack.pop_back();
        return DeliverIfComplete();
    }

    mValue& m_root;
    std::vector<Frame> m_stack;
    std::string m_key;
    bool m_depthExceeded = false;
    const std::string* m_streamedKey = nullptr;
    ZkJson::IArrayElementSink* m_sink = nullptr;
    bool* m_sawArray = nullptr;
    mArray m_scratch;  // holds the element of the streamed array being built
    std::exception_ptr m_sinkError;
};

}  // namespace

namespace {

// Keeps nothing; refuses a string or key that is not UTF-8, as the parse does (and as cheaply).
struct Utf8Check : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Utf8Check> {
    bool badString = false;
    bool RawNumber(const char*, rapidjson::SizeType, bool) { return true; }
    bool String(const char* str, rapidjson::SizeType length, bool) {
        return !(badString = !host::utf8::IsValid(str, length));
    }
    bool Key(const char* str, rapidjson::SizeType length, bool copy) { return String(str, length, copy); }
};

}  // namespace

bool ZkJson::IsJsonText(const std::string& text, std::string& why) {
    rapidjson::MemoryStream stream(text.data(), text.size());
    rapidjson::Reader reader;
    Utf8Check check;
    rapidjson::ParseResult result = reader.Parse<kParseFlags>(stream, check);
    if (result && stream.Tell() == text.size()) return true;
    const std::string offset = std::to_string(result ? stream.Tell() : result.Offset());
    if (result)
        why = "a NUL byte at offset " + offset;
    else if (check.badString)
        why = "at offset " + offset + ": a string that is not UTF-8";
    else
        why = "at offset " + offset + ": " + rapidjson::GetParseError_En(result.Code());
    return false;
}

namespace {

bool Parse(const std::string& text, ValueBuilder& builder) {
    rapidjson::MemoryStream stream(text.data(), text.size());
    rapidjson::Reader reader;
    rapidjson::ParseResult result = reader.Parse<kParseFlags>(stream, builder);
    if (builder.SinkError()) std::rethrow_exception(builder.SinkError());
    if (result && stream.Tell() == text.size()) {
        return true;
    }
    HbDebug log;
    if (!result) {
        log.DebugLvl(
            __PRETTY_FUNCTION__, 2, "Invalid JSON text at offset %zu: %s", result.Offset(),
            builder.DepthExceeded() ? "nesting too deep" : rapidjson::GetParseError_En(result.Code()));
    } else {
        // The reader stops at a NUL byte as if the text ended there.
        log.DebugLvl(__PRETTY_FUNCTION__, 2, "Invalid JSON text: NUL byte at offset %zu", stream.Tell());
    }
    return false;
}

bool Parse(const std::string& text, mValue& value) {
    ValueBuilder builder(value);
    return Parse(text, builder);
}

}  // namespace

ZkJson::IArrayElementSink::~IArrayElementSink() = default;

bool ZkJson::UnserializeStreaming(const std::string& text, const std::string& arrayKey, mObject& object,
                                  IArrayElementSink& sink, bool& sawArray) {
    mValue parsed;
    bool saw = false;
    ValueBuilder builder(parsed, arrayKey, sink, saw);
    if (!Parse(text, builder) || parsed.type() != json_spirit::obj_type) return false;
    object.swap(parsed.get_obj());
    sawArray = saw;
    return true;
}

bool ZkJson::Unserialize(const std::string& text, mObject& object) {
    mValue parsed;
    if (!Parse(text, parsed)) {
        return false;
    }
    if (parsed.type() != json_spirit::obj_type) {
        HbDebug().DebugLvl(__PRETTY_FUNCTION__, 2, "JSON text is not an object (type %d)",
                           static_cast<int>(parsed.type()));
        return false;
    }
    object.swap(parsed.get_obj());
    return true;
}

bool ZkJson::Unserialize(const std::string& text, mValue& value) {
    mValue parsed;
    if (!Parse(text, parsed)) {
        return false;
    }
    value = std::move(parsed);
    return true;
}

bool ZkJson::FindObjectValue(const mObject& object, const std::string& key, mObject& value) {
    const mObject* found = FindObject(object, key);
    if (found == nullptr) {
        return false;
    }
    value = *found;
    return true;
}

bool ZkJson::FindArrayValue(const mObject& object, const std::string& key, mArray& value) {
    const mArray* found = FindArray(object, key);
    if (found == nullptr) {
        return false;
    }
    value = *found;
    return true;
}

const mObject* ZkJson::FindObject(const mObject& object, const std::string& key) {
    auto it = object.find(key);
    if (it == object.end() || it->second.type() != json_spirit::obj_type) {
        return nullptr;
    }
    return &it->second.get_obj();
}

const mArray* ZkJson::FindArray(const mObject& object, const std::string& key) {
    auto it = object.find(key);
    if (it == object.end() || it->second.type() != json_spirit::array_type) {
        return nullptr;
    }
    return &it->second.get_array();
}

std::string ZkJson::GetStringValue(const mObject& object, const std::string& key) {
    auto it = object.find(key);
    if (it == object.end() || it->second.type() != json_spirit::str_type) {
        return std::string();
    }
    return it->second.get_str();
}

int ZkJson::GetIntValue(const mObject& object, const std::string& key) {
    auto it = object.find(key);
    if (it == object.end() || it->second.type() != json_spirit::int_type) {
        return 0;
    }
    return it->second.get_int();
}

bool ZkJson::ConvertFromJsonToMap(const std::string& text,
                                  std::unordered_map<std::string, std::string>& map) {
    mObject object;
    if (!Unserialize(text, object)) {
        return false;
    }
    std::unordered_map<std::string, std::string> converted;
    converted.reserve(object.size());
    for (auto& member : object) {
        if (member.second.type() != json_spirit::str_type) {
            HbDebug().DebugLvl(__PRETTY_FUNCTION__, 2, "Member \"%s\" is not a string", member.first.c_str());
            return false;
        }
        converted.emplace(member.first, member.second.get_str());
    }
    map.swap(converted);
    return true;
}
