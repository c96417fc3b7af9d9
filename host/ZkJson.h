// JSON text to and from the value model (RapidJSON underneath), and the member helpers the library
// uses. Text is read and written as UTF-8: input that is not valid UTF-8 is refused, and output
// escapes what JSON requires and carries any invalid byte sequence of a string as U+FFFD.
#pragma once

#include <string>
#include <unordered_map>

#include "HostApi.h"
#include "json/JsonValue.h"

class HOST_API ZkJson {
public:
    // Parses text whose top-level value is an object; false (object untouched) otherwise.
    static bool Unserialize(const std::string& text, json_spirit::mObject& object);
    // Parses any JSON value; false (value untouched) when the text is not JSON.
    static bool Unserialize(const std::string& text, json_spirit::mValue& value);

    // Whether the text is one JSON value and nothing else (no tree is built); when not, why (the
    // offset and RapidJSON's words).
    static bool IsJsonText(const std::string& text, std::string& why);

    // Receives the elements of a streamed array, one at a time.
    class HOST_API IArrayElementSink {
    public:
        virtual ~IArrayElementSink();
        // The array starts (again: a later member of the same name replaces an earlier one).
        virtual void Begin() = 0;
        // One complete element; it is dropped when the call returns.
        virtual void Element(json_spirit::mValue& element) = 0;
    };
    // Parses a JSON object like Unserialize, except that its member arrayKey, when it is an array, is not
    // kept: each element goes to the sink as soon as it is complete, so a long list never exists as a
    // whole tree. sawArray tells whether the object's (last) member of that name is an array. False
    // when the text is not a JSON object; what the sink throws stops the parse and is thrown on.
    static bool UnserializeStreaming(const std::string& text, const std::string& arrayKey,
                                     json_spirit::mObject& object, IArrayElementSink& sink, bool& sawArray);

    // Copies the member when it exists with the wanted type; false (out untouched) otherwise.
    static bool FindObjectValue(const json_spirit::mObject& object, const std::string& key,
                                json_spirit::mObject& value);
    static bool FindArrayValue(const json_spirit::mObject& object, const std::string& key,
                               json_spirit::mArray& value);
    // The same look-ups without a copy; null when missing or of another type.
    static const json_spirit::mObject* FindObject(const json_spirit::mObject& object, const std::string& key);
    static const json_spirit::mArray* FindArray(const json_spirit::mObject& object, const std::string& key);

    // Member as text or integer; empty text or 0 when missing, null or of another type.
    static std::string GetStringValue(const json_spirit::mObject& object, const std::string& key);
    static int GetIntValue(const json_spirit::mObject& object, const std::string& key);

    // Compact JSON text, members in name order.
    static std::string Serialize(const json_spirit::mObject& object);
    static bool Serialize(const json_spirit::mObject& object, std::string& text);
    static std::string Serialize(const json_spirit::mValue& value);

    // A flat object of string members to and from a map. Parsing fails (map untouched) when the text is
    // not an object or a member is not a string.
    static bool ConvertFromJsonToMap(const std::string& text,
                                     std::unordered_map<std::string, std::string>& map);
    static bool ConvertFromMapToJson(const std::unordered_map<std::string, std::string>& map,
                                     std::string& text);
};
