#include "JsonValue.h"

#include <limits>
#include <stdexcept>

namespace json_spirit {

namespace {

constexpr int kUint64Which = 7;

mValue::Variant FromUnsigned(unsigned long long value) {
    if (value <= static_cast<unsigned long long>(std::numeric_limits<int64_t>::max())) {
        return static_cast<int64_t>(value);
    }
    return static_cast<uint64_t>(value);
}

}  // namespace

const mValue mValue::null;

mValue::mValue() : m_value(Null()) {}
mValue::mValue(const char* value) : m_value(std::string(value)) {}
mValue::mValue(const std::string& value) : m_value(value) {}
mValue::mValue(std::string&& value) : m_value(std::move(value)) {}
mValue::mValue(const mObject& value) : m_value(value) {}
mValue::mValue(mObject&& value) : m_value(std::move(value)) {}
mValue::mValue(const mArray& value) : m_value(value) {}
mValue::mValue(mArray&& value) : m_value(std::move(value)) {}
mValue::mValue(bool value) : m_value(value) {}
mValue::mValue(int value) : m_value(static_cast<int64_t>(value)) {}
mValue::mValue(unsigned int value) : m_value(static_cast<int64_t>(value)) {}
mValue::mValue(long value) : m_value(static_cast<int64_t>(value)) {}
mValue::mValue(long long value) : m_value(static_cast<int64_t>(value)) {}
mValue::mValue(unsigned long value) : m_value(FromUnsigned(value)) {}
mValue::mValue(unsigned long long value) : m_value(FromUnsigned(value)) {}
mValue::mValue(double value) : m_value(value) {}
mValue::mValue(Null) : m_value(Null()) {}

Value_type mValue::type() const {
    int which = m_value.which();
    return which == kUint64Which ? int_type : static_cast<Value_type>(which);
}

void mValue::check_type(Value_type wanted) const {
    Value_type actual = type();
    if (actual != wanted) {
        throw std::runtime_error("value type is " + std::to_string(actual) + " not " +
                                 std::to_string(wanted));
    }
}

const std::string& mValue::get_str() const {
    check_type(str_type);
    return boost::get<std::string>(m_value);
}

const mObject& mValue::get_obj() const {
    check_type(obj_type);
    return boost::get<mObject>(m_value);
}

mObject& mValue::get_obj() {
    check_type(obj_type);
    return boost::get<mObject>(m_value);
}

const mArray& mValue::get_array() const {
    check_type(array_type);
    return boost::get<mArray>(m_value);
}

mArray& mValue::get_array() {
    check_type(array_type);
    return boost::get<mArray>(m_value);
}

bool mValue::get_bool() const {
    check_type(bool_type);
    return boost::get<bool>(m_value);
}

int mValue::get_int() const {
    return static_cast<int>(get_int64());
}

int64_t mValue::get_int64() const {
    check_type(int_type);
    if (is_uint64()) {
        return static_cast<int64_t>(boost::get<uint64_t>(m_value));
    }
    return boost::get<int64_t>(m_value);
}

uint64_t mValue::get_uint64() const {
    check_type(int_type);
    if (is_uint64()) {
        return boost::get<uint64_t>(m_value);
    }
    return static_cast<uint64_t>(boost::get<int64_t>(m_value));
}

double mValue::get_real() const {
    if (type() == int_type) {
        return is_uint64() ? static_cast<double>(boost::get<uint64_t>(m_value))
                           : static_cast<double>(boost::get<int64_t>(m_value));
    }
    check_type(real_type);
    return boost::get<double>(m_value);
}

bool mValue::operator==(const mValue& other) const {
    if (m_value.which() == other.m_value.which()) {
        return m_value == other.m_value;
    }
    if (type() != int_type || other.type() != int_type) {
        return false;
    }
    // One signed, one unsigned: equal only when the signed one is not negative and the values match.
    const mValue& signedOne = is_uint64() ? other : *this;
    const mValue& unsignedOne = is_uint64() ? *this : other;
    int64_t s = boost::get<int64_t>(signedOne.m_value);
    return s >= 0 && static_cast<uint64_t>(s) == boost::get<uint64_t>(unsignedOne.m_value);
}

}  // namespace json_spirit
