#include "cli/KeyNames.h"

#include <cstdint>
#include <vector>

#include "cli/ResourceNames.h"

namespace gcsdk {

const char kKeyPathForm[] = "projects/P/locations/L/keyRings/R/cryptoKeys/K";
const char kKmsIdRule[] = "letters, digits, '_' and '-', at most 63 characters";

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kLongestPeriod = 36500 * kDay;  // Cloud KMS: at most 100 years

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The digits of text[at, at + count) as a number; false when one is not a digit.
bool Digits(const std::string& text, size_t at, size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!IsDigit(text[i])) return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

std::string KeyPath::KeyRingText() const {
    return "projects/" + project + "/locations/" + location + "/keyRings/" + keyRing;
}

std::string KeyPath::Text() const {
    return KeyRingText() + "/cryptoKeys/" + key;
}

bool IsKmsId(const std::string& id) {
    if (id.empty() || id.size() > 63) return false;
    for (char c : id)
        if (!IsDigit(c) && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && c != '_' && c != '-')
            return false;
    return true;
}

bool IsKmsLocation(const std::string& location) {
    if (location.empty() || location.size() > 63) return false;
    for (char c : location)
        if (!IsDigit(c) && !(c >= 'a' && c <= 'z') && c != '-') return false;
    return true;
}

bool ParseKeyPath(const std::string& text, KeyPath& path) {
    // Empty parts are kept, so that "projects//locations/..." is refused rather than read as another path.
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t slash = text.find('/', start);
        parts.push_back(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (parts.size() != 8 || parts[0] != "projects" || parts[2] != "locations" || parts[4] != "keyRings" ||
        parts[6] != "cryptoKeys")
        return false;
    // A project id is a Compute Engine-like name; the others are Cloud KMS's own.
    if (!IsResourceName(parts[1]) || !IsKmsLocation(parts[3]) || !IsKmsId(parts[5]) || !IsKmsId(parts[7]))
        return false;
    path = {parts[1], parts[3], parts[5], parts[7]};
    return true;
}

bool ReadRotationPeriod(const std::string& text, std::string& period, std::string& error) {
    const char unit = text.empty() ? '\0' : text.back();
    const std::string number = text.empty() ? "" : text.substr(0, text.size() - 1);
    bool digits = !number.empty() && number.size() <= 12 && (unit == 'd' || unit == 's');
    for (char c : number) digits = digits && IsDigit(c);
    if (!digits) {
        error = "takes DAYSd or SECONDSs (90d, 7776000s)";
        return false;
    }
    const int64_t seconds = std::stoll(number) * (unit == 'd' ? kDay : 1);
    if (seconds < kDay || seconds > kLongestPeriod) {
        error = "must be from 1 day (1d, 86400s) to 100 years (36500d)";
        return false;
    }
    period = std::to_string(seconds) + "s";
    return true;
}

bool ReadUtcTime(const std::string& text, std::time_t& when) {
    // YYYY-MM-DDTHH:MM:SS[.fraction]Z
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() < 20 || !Digits(text, 0, 4, year) || text[4] != '-' || !Digits(text, 5, 2, month) ||
        text[7] != '-' || !Digits(text, 8, 2, day) || text[10] != 'T' || !Digits(text, 11, 2, hour) ||
        text[13] != ':' || !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second))
        return false;
    size_t at = 19;
    if (text[at] == '.') {
        const size_t first = ++at;
        while (at < text.size() && IsDigit(text[at])) ++at;
        if (at == first) return false;
    }
    if (at + 1 != text.size() || text[at] != 'Z') return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) return false;
    const int days = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day < 1 || day > days) return false;
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    when = timegm(&utc);
    return true;
}

std::string RotationPeriodText(const std::string& period) {
    std::string error, seconds;
    if (period.size() < 2 || period.back() != 's' || !ReadRotationPeriod(period, seconds, error))
        return period;
    const int64_t value = std::stoll(seconds);
    if (value % kDay != 0) return period;
    const int64_t days = value / kDay;
    return period + " (" + std::to_string(days) + (days == 1 ? " day)" : " days)");
}

}  // namespace gcsdk
