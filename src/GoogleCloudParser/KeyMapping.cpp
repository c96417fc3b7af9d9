// Cloud KMS crypto keys: the key as Cloud KMS returns it, and the body that creates or rotates one.
// Rotation times are RFC 3339 in UTC: the machine's time zone never enters.
#include <charconv>
#include <cstdio>
#include <ctime>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "host/HostClock.h"

namespace GoogleCloudSDKWrapper {

namespace {

// "2027-03-09T12:00:00Z" or with a fraction ("...:00.123456Z"), as seconds since the epoch.
bool ParseUtc(const std::string& text, int64_t& seconds) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    float second = 0;
    char zone = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%f%c", &year, &month, &day, &hour, &minute, &second,
                    &zone) != 7 ||
        zone != 'Z')
        return false;
    // A field out of its range is no time: timegm would roll it into another, and the year or the
    // seconds could overflow on the way.
    if (year < 0 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || !(second >= 0 && second < 61))
        return false;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = static_cast<int>(second);  // the fraction is dropped
    seconds = static_cast<int64_t>(timegm(&parts));
    return true;
}

// Four-digit year, two-digit fields, no fraction; false for an instant a four-digit year cannot hold.
bool FormatUtc(int64_t seconds, std::string& text) {
    const std::time_t instant = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!gmtime_r(&instant, &parts) || parts.tm_year + 1900 > 9999) return false;
    char buffer[64];  // room for any int the compiler can imagine in each field
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    text = buffer;
    return true;
}

// The leading decimal number of "7776000s": the period in seconds.
bool PeriodSeconds(const std::string& period, int64_t& seconds) {
    const char* end = period.data() + period.size();
    const auto [stop, error] = std::from_chars(period.data(), end, seconds);
    return error == std::errc() && stop != period.data() && seconds >= 0;
}

}  // namespace

bool CGoogleCloudParser::Convert(const mObject& object, SKeyInfoLib& key) {
    key.name = GetStringValue(object, "name");
    key.purpose = GetStringValue(object, "purpose");
    key.nextRotationTime = GetStringValue(object, "nextRotationTime");
    if (const mObject* primary = ZkJson::FindObject(object, "primary")) {
        key.protectionLevel = GetStringValue(*primary, "protectionLevel");
        key.algorithm = GetStringValue(*primary, "algorithm");
        key.state = GetStringValue(*primary, "state");
    }
    key.rotationPeriod = GetStringValue(object, "rotationPeriod");
    return true;
}

bool CGoogleCloudParser::Convert(const SKeyInfoLib& key, mObject& object) {
    if (!key.purpose.empty()) object["purpose"] = key.purpose;
    if (!key.rotationPeriod.empty()) {
        object["rotationPeriod"] = key.rotationPeriod;
        const int64_t now = host::Now();
        int64_t next = 0;
        if (ParseUtc(key.nextRotationTime, next) && next > now) {
            object["nextRotationTime"] = key.nextRotationTime;
        } else {
            // A next rotation that is due already (or none) is one period from now.
            int64_t period = 0;
            std::string nextText;
            if (!PeriodSeconds(key.rotationPeriod, period) || period > INT64_MAX - now ||
                !FormatUtc(now + period, nextText)) {
                logger.Error(__PRETTY_FUNCTION__, "Rotation period [%s] is not a number of seconds",
                             key.rotationPeriod.c_str());
                return false;
            }
            object["nextRotationTime"] = nextText;
        }
    }
    if (!key.algorithm.empty() && !key.protectionLevel.empty())
        object["versionTemplate"] =
            mObject{{"algorithm", key.algorithm}, {"protectionLevel", key.protectionLevel}};
    return true;
}

}  // namespace GoogleCloudSDKWrapper
