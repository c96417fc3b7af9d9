// JSON text from the value model, through RapidJSON's writer. Strings that are not UTF-8 are written with
// each ill-formed sequence replaced, numbers that JSON cannot hold as null.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <limits>
#include <map>

#include "HbDebug.h"
#include "ZkJson.h"
#include "host/detail/Utf8.h"

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

bool WriteString(Writer& writer, const std::string& s) {
    if (s.size() > std::numeric_limits<rapidjson::SizeType>::max()) {
        return false;
    }
    if (host::utf8::IsValid(s)) {
        return writer.String(s.data(), static_cast<rapidjson::SizeType>(s.size()));
    }
    std::string replaced = host::utf8::Repaired(s);
    if (replaced.size() > std::numeric_limits<rapidjson::SizeType>::max()) {
        return false;
    }
    return writer.String(replaced.data(), static_cast<rapidjson::SizeType>(replaced.size()));
}

bool WriteValue(Writer& writer, const mValue& value);

bool WriteObject(Writer& writer, const mObject& object) {
    if (!writer.StartObject()) return false;
    for (const auto& member : object) {
        if (!WriteString(writer, member.first) || !WriteValue(writer, member.second)) return false;
    }
    return writer.EndObject();
}

class WriteVisitor : public boost::static_visitor<bool> {
public:
    explicit WriteVisitor(Writer& writer) : m_writer(writer) {}

    bool operator()(const mObject& object) const { return WriteObject(m_writer, object); }
    bool operator()(const mArray& array) const {
        if (!m_writer.StartArray()) return false;
        for (const mValue& element : array) {
            if (!WriteValue(m_writer, element)) return false;
        }
        return m_writer.EndArray();
    }
    bool operator()(const std::string& s) const { return WriteString(m_writer, s); }
    bool operator()(bool b) const { return m_writer.Bool(b); }
    bool operator()(int64_t i) const { return m_writer.Int64(i); }
    bool operator()(uint64_t u) const { return m_writer.Uint64(u); }
    // JSON has no NaN or infinity.
    bool operator()(double d) const { return std::isfinite(d) ? m_writer.Double(d) : m_writer.Null(); }
    bool operator()(json_spirit::Null) const { return m_writer.Null(); }

private:
    Writer& m_writer;
};

bool WriteValue(Writer& writer, const mValue& value) {
    return boost::apply_visitor(WriteVisitor(writer), value.get_variant());
}

template <typename Write>
bool WriteText(Write write, std::string& text) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    if (!write(writer)) {
        HbDebug().Error(__PRETTY_FUNCTION__, "Could not write JSON text (a string is too long)");
        return false;
    }
    text.assign(buffer.GetString(), buffer.GetSize());
    return true;
}

}  // namespace

std::string ZkJson::Serialize(const mObject& object) {
    std::string text;
    Serialize(object, text);
    return text;
}

bool ZkJson::Serialize(const mObject& object, std::string& text) {
    return WriteText([&object](Writer& writer) { return WriteObject(writer, object); }, text);
}

std::string ZkJson::Serialize(const mValue& value) {
    std::string text;
    WriteText([&value](Writer& writer) { return WriteValue(writer, value); }, text);
    return text;
}

bool ZkJson::ConvertFromMapToJson(const std::unordered_map<std::string, std::string>& map,
                                  std::string& text) {
    // Name order, so that equal maps give equal text.
    std::map<std::string, const std::string*> sorted;
    for (const auto& entry : map) {
        sorted.emplace(entry.first, &entry.second);
    }
    return WriteText(
        [&sorted](Writer& writer) {
            if (!writer.StartObject()) return false;
            for (const auto& entry : sorted) {
                if (!WriteString(writer, entry.first) || !WriteString(writer, *entry.second)) return false;
            }
            return writer.EndObject();
        },
        text);
}
