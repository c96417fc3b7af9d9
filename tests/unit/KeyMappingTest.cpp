// Cloud KMS keys: read from Google's captures, written as create and rotation bodies in UTC whatever
// the machine's time zone, and key texts split into type and path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "tests/support/FakeClock.h"
#include "tests/unit/MappingTestSupport.h"

using namespace GoogleCloudSDKWrapper;

namespace {

std::string Text(const SKeyInfoLib& k) {
    return k.name + "|" + k.purpose + "|" + k.state + "|" + k.algorithm + "|" + k.protectionLevel + "|" +
           k.rotationPeriod + "|" + k.nextRotationTime;
}

TEST(KeyReader, Captures) {
    for (const std::string& file : mappingtest::Fixtures("kms", {"cryptokey-"}))
        EXPECT_FALSE(mappingtest::ParseFixture<SKeyInfoLib>(file).empty()) << file;
    mappingtest::ExpectFields<SKeyInfoLib>(
        "kms/cryptokey-with-primary.json",
        {{0, Text,
          "projects/cloud-custodian/locations/us-central1/keyRings/cloud-custodian/cryptoKeys/"
          "cloud-custodian|"
          "ENCRYPT_DECRYPT|ENABLED|GOOGLE_SYMMETRIC_ENCRYPTION|SOFTWARE||"}});
    mappingtest::ExpectFields<SKeyInfoLib>("kms/cryptokey-primary-destroyed.json",
                                           {{0, [](const SKeyInfoLib& k) { return k.state; }, "DESTROYED"}});
}

// Keeps the machine's zone far from UTC for the scope, so a local-time slip shows.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old) m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

TEST(KeyWriter, WritesTheRotationInUtc) {
    ScopedTimeZone zone("Pacific/Kiritimati");     // UTC+14
    testsupport::ScopedFakeClock now(1767323045);  // 2026-01-02T03:04:05Z
    SKeyInfoLib key;
    key.purpose = "ENCRYPT_DECRYPT";
    const struct {
        const char* name;
        std::string period, next, algorithm, level;
        std::string body;  // empty: the writer refuses
    } cases[] = {
        {"90 days, no next time", "7776000s", "", "", "",
         R"({"nextRotationTime":"2026-04-02T03:04:05Z","purpose":"ENCRYPT_DECRYPT","rotationPeriod":"7776000s"})"},
        {"a next time gone by", "86400s", "2025-12-31T00:00:00Z", "", "",
         R"({"nextRotationTime":"2026-01-03T03:04:05Z","purpose":"ENCRYPT_DECRYPT","rotationPeriod":"86400s"})"},
        {"a next time now is not in the future", "86400s", "2026-01-02T03:04:05Z", "", "",
         R"({"nextRotationTime":"2026-01-03T03:04:05Z","purpose":"ENCRYPT_DECRYPT","rotationPeriod":"86400s"})"},
        {"a future next time kept as given", "86400s", "2026-01-02T03:04:06.25Z", "", "",
         R"({"nextRotationTime":"2026-01-02T03:04:06.25Z","purpose":"ENCRYPT_DECRYPT","rotationPeriod":"86400s"})"},
        // A next time that is no time is none: neither rolled into another nor overflowing on the way.
        {"a next time with a month out of range", "86400s", "2030-13-01T00:00:00Z", "", "",
         R"({"nextRotationTime":"2026-01-03T03:04:05Z","purpose":"ENCRYPT_DECRYPT","rotationPeriod":"86400s"})"},
        {"a next time with the smallest year", "86400s", "-2147483648-01-01T00:00:00Z", "", "",
         R"({"nextRotationTime":"2026-01-03T03:04:05Z","purpose":"ENCRYPT_DECRYPT","rotationPeriod":"86400s"})"},
        {"a next time with seconds beyond an int", "86400s", "2030-01-01T00:00:1e30Z", "", "",
         R"({"nextRotationTime":"2026-01-03T03:04:05Z","purpose":"ENCRYPT_DECRYPT","rotationPeriod":"86400s"})"},
        {"no period, no rotation", "", "2030-01-01T00:00:00Z", "", "", R"({"purpose":"ENCRYPT_DECRYPT"})"},
        {"a version template needs both members", "", "", "GOOGLE_SYMMETRIC_ENCRYPTION", "",
         R"({"purpose":"ENCRYPT_DECRYPT"})"},
        {"both members", "", "", "GOOGLE_SYMMETRIC_ENCRYPTION", "HSM",
         R"({"purpose":"ENCRYPT_DECRYPT","versionTemplate":{"algorithm":"GOOGLE_SYMMETRIC_ENCRYPTION",)"
         R"("protectionLevel":"HSM"}})"},
        {"a period that is no number", "ninety days", "", "", "", ""},
        {"a period beyond year 9999", "999999999999s", "", "", "", ""},
    };
    CGoogleCloudParser parser;
    for (const auto& c : cases) {
        key.rotationPeriod = c.period;
        key.nextRotationTime = c.next;
        key.algorithm = c.algorithm;
        key.protectionLevel = c.level;
        const SKeyInfoLib& record = key;
        std::string body = "untouched";
        EXPECT_EQ(parser.GetRequestBody(record, body), !c.body.empty()) << c.name;
        EXPECT_EQ(body, c.body.empty() ? "untouched" : c.body) << c.name;
    }
}

TEST(KeyText, SplitsIntoTypeAndPath) {
    const struct {
        const char* text;
        bool split;
        const char* type;
        const char* path;
    } cases[] = {
        {"kmsKeyName:projects/p/locations/l/keyRings/r/cryptoKeys/k", true, "kmsKeyName",
         "projects/p/locations/l/keyRings/r/cryptoKeys/k"},
        {"rawKey:SGVsbG8gV29ybGQ=", true, "rawKey", "SGVsbG8gV29ybGQ="},
        {"a:b:c", true, "a", "b"},
        {"kmsKeyName", false, "", ""},
        {"", false, "", ""},
    };
    CGoogleCloudParser parser;
    for (const auto& c : cases) {
        std::string type = "x", path = "y";
        EXPECT_EQ(parser.GetKeyTypeAndKeyPath(c.text, type, path), c.split) << c.text;
        EXPECT_EQ(type, c.type) << c.text;
        EXPECT_EQ(path, c.path) << c.text;
    }
}

}  // namespace
