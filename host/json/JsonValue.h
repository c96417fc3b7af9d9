// The JSON value model: mValue, mObject, mArray.
//
// Semantics of the json_spirit map configuration, on which the library's record mapping relies:
// objects are std::map (members come in name order, not document order); a value is an object,
// array, string, bool, signed 64-bit integer, double, null or unsigned 64-bit integer (the last only
// for integers above INT64_MAX, and reported as the integer type); reading a value as the wrong type
// throws std::runtime_error "value type is X not Y" with the type numbers below. Text is read and
// written by ZkJson.
#pragma once

#include <boost/variant.hpp>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "../HostApi.h"

namespace json_spirit {

enum Value_type {
    obj_type = 0,
    array_type = 1,
    str_type = 2,
    bool_type = 3,
    int_type = 4,
    real_type = 5,
    null_type = 6
};

class mValue;
typedef std::map<std::string, mValue> mObject;
typedef std::vector<mValue> mArray;

struct Null {
    bool operator==(const Null&) const { return true; }
};

class HOST_API mValue {
public:
    // The alternatives in type-number order (object 0 ... null 6), then the unsigned integer.
    typedef boost::variant<boost::recursive_wrapper<mObject>, boost::recursive_wrapper<mArray>, std::string,
                           bool, int64_t, double, Null, uint64_t>
        Variant;

    mValue();  // null
    mValue(const char* value);
    mValue(char* value) : mValue(static_cast<const char*>(value)) {}
    mValue(const std::string& value);
    mValue(std::string&& value);
    mValue(const mObject& value);
    mValue(mObject&& value);
    mValue(const mArray& value);
    mValue(mArray&& value);
    mValue(bool value);
    mValue(int value);
    mValue(unsigned int value);
    mValue(long value);
    mValue(long long value);
    mValue(unsigned long value);
    mValue(unsigned long long value);
    mValue(double value);
    mValue(Null);
    template <typename T>
    mValue(T*) = delete;  // a stray pointer must not turn into a bool

    mValue(const mValue&) = default;
    mValue(mValue&&) noexcept = default;
    mValue& operator=(const mValue&) = default;
    mValue& operator=(mValue&&) noexcept = default;

    Value_type type() const;
    bool is_null() const { return type() == null_type; }
    bool is_uint64() const { return m_value.which() == 7; }

    const std::string& get_str() const;
    const mObject& get_obj() const;
    mObject& get_obj();
    const mArray& get_array() const;
    mArray& get_array();
    bool get_bool() const;
    int get_int() const;          // integer, truncated to 32 bits
    int64_t get_int64() const;    // integer
    uint64_t get_uint64() const;  // integer
    double get_real() const;      // real, or an integer widened

    template <typename T>
    T get_value() const;

    const Variant& get_variant() const { return m_value; }

    bool operator==(const mValue& other) const;
    bool operator!=(const mValue& other) const { return !(*this == other); }

    static const mValue null;

private:
    void check_type(Value_type wanted) const;
    Variant m_value;
};

template <>
inline std::string mValue::get_value<std::string>() const {
    return get_str();
}
template <>
inline mObject mValue::get_value<mObject>() const {
    return get_obj();
}
template <>
inline mArray mValue::get_value<mArray>() const {
    return get_array();
}
template <>
inline bool mValue::get_value<bool>() const {
    return get_bool();
}
template <>
inline int mValue::get_value<int>() const {
    return get_int();
}
template <>
inline int64_t mValue::get_value<int64_t>() const {
    return get_int64();
}
template <>
inline uint64_t mValue::get_value<uint64_t>() const {
    return get_uint64();
}
template <>
inline double mValue::get_value<double>() const {
    return get_real();
}

}  // namespace json_spirit
