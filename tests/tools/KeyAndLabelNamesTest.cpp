// What gcsdk checks of Cloud KMS names, rotation fields and labels before any request, and the labels a
// change leaves.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "cli/KeyNames.h"
#include "cli/Labels.h"

namespace {

using gcsdk::LabelList;

TEST(KeyNamesTest, KeyPathsAreReadOnlyWhole) {
    gcsdk::KeyPath path;
    ASSERT_TRUE(
        gcsdk::ParseKeyPath("projects/p-1/locations/us-central1/keyRings/Ring_1/cryptoKeys/disk-key", path));
    EXPECT_EQ(path.project, "p-1");
    EXPECT_EQ(path.location, "us-central1");
    EXPECT_EQ(path.keyRing, "Ring_1");
    EXPECT_EQ(path.key, "disk-key");
    EXPECT_EQ(path.KeyRingText(), "projects/p-1/locations/us-central1/keyRings/Ring_1");
    EXPECT_EQ(path.Text(), "projects/p-1/locations/us-central1/keyRings/Ring_1/cryptoKeys/disk-key");
    for (const char* text :
         {"", "projects/p/locations/l/keyRings/r",                               // a key ring, not a key
          "projects/p/locations/l/keyRings/r/cryptoKeys/k/cryptoKeyVersions/1",  // a version
          "/projects/p/locations/l/keyRings/r/cryptoKeys/k",
          "projects/p/locations/l/keyRings/r/cryptoKeys/k/", "projects//locations/l/keyRings/r/cryptoKeys/k",
          "projects/p/locations/l/keyrings/r/cryptoKeys/k",
          "projects/p/locations/l/keyRings/r/cryptoKeys/k?x=1",
          "projects/P/locations/l/keyRings/r/cryptoKeys/k",
          "projects/p/locations/l/keyRings/r.s/cryptoKeys/k",
          "https://cloudkms.googleapis.com/v1/projects/p/locations/l/keyRings/r/cryptoKeys/k"})
        EXPECT_FALSE(gcsdk::ParseKeyPath(text, path)) << text;
    EXPECT_TRUE(gcsdk::IsKmsId(std::string(63, 'a')));
    EXPECT_FALSE(gcsdk::IsKmsId(std::string(64, 'a')));
}

TEST(KeyNamesTest, RotationPeriodsAreDaysOrSecondsWithinCloudKmsLimits) {
    struct Case {
        const char* given;
        const char* period;  // empty: refused
    };
    const Case cases[] = {
        {"90d", "7776000s"},
        {"7776000s", "7776000s"},
        {"1d", "86400s"},
        {"86400s", "86400s"},
        {"36500d", "3153600000s"},
        {"86399s", ""},
        {"0d", ""},
        {"36501d", ""},
        {"90", ""},
        {"d", ""},
        {"-1d", ""},
        {"1.5d", ""},
        {"90D", ""},
        {"9999999999999d", ""},
        {"", ""},
        {"90 d", ""},
    };
    for (const Case& c : cases) {
        std::string period, error;
        const bool read = gcsdk::ReadRotationPeriod(c.given, period, error);
        EXPECT_EQ(read, *c.period != '\0') << c.given;
        EXPECT_EQ(read ? period : "", c.period) << c.given;
        EXPECT_EQ(error.empty(), read) << c.given;
    }
    EXPECT_EQ(gcsdk::RotationPeriodText("7776000s"), "7776000s (90 days)");
    EXPECT_EQ(gcsdk::RotationPeriodText("86400s"), "86400s (1 day)");
    EXPECT_EQ(gcsdk::RotationPeriodText("90000s"), "90000s");
    EXPECT_EQ(gcsdk::RotationPeriodText(""), "");
}

TEST(KeyNamesTest, TimesAreRfc3339InUtc) {
    std::time_t when = 0;
    ASSERT_TRUE(gcsdk::ReadUtcTime("2027-03-09T12:00:00Z", when));
    EXPECT_EQ(when, 1804593600);
    ASSERT_TRUE(gcsdk::ReadUtcTime("2028-02-29T00:00:00.123456Z", when));
    EXPECT_EQ(when, 1835395200);
    for (const char* text :
         {"", "2027-03-09", "2027-03-09T12:00:00", "2027-03-09T12:00:00+01:00", "2027-03-09 12:00:00Z",
          "2027-13-01T00:00:00Z", "2027-02-29T00:00:00Z", "2027-04-31T00:00:00Z", "2027-03-09T24:00:00Z",
          "2027-03-09T12:60:00Z", "2027-03-09T12:00:00.Z", "2027-3-09T12:00:00Z", "2027-03-09t12:00:00z",
          "2027-03-09T12:00:00ZZ"})
        EXPECT_FALSE(gcsdk::ReadUtcTime(text, when)) << text;
}

TEST(LabelsTest, ChangesAreCheckedBeforeAnyRequest) {
    struct Case {
        std::vector<std::string> pairs, removals;
        std::string error;  // empty: accepted
    };
    const Case cases[] = {
        {{"env=prod", "empty=", "restored-from=snap-1"}, {"old"}, ""},
        {{}, {"old"}, ""},
        {{"zone_\xc3\xa9t\xc3\xa9=x"}, {}, ""},  // an international character
        {{}, {}, "give the labels to set as KEY=VALUE, or --remove KEY"},
        {{"env"}, {}, "'env' is not a label KEY=VALUE (" + std::string(gcsdk::kLabelRule) + ")"},
        {{"Env=prod"}, {}, "'Env=prod' is not a label KEY=VALUE (" + std::string(gcsdk::kLabelRule) + ")"},
        {{"1env=prod"}, {}, "'1env=prod' is not a label KEY=VALUE (" + std::string(gcsdk::kLabelRule) + ")"},
        {{"env=Prod"}, {}, "'env=Prod' is not a label KEY=VALUE (" + std::string(gcsdk::kLabelRule) + ")"},
        {{"=x"}, {}, "'=x' is not a label KEY=VALUE (" + std::string(gcsdk::kLabelRule) + ")"},
        {{"k=" + std::string(64, 'v')},
         {},
         "'k=" + std::string(64, 'v') + "' is not a label KEY=VALUE (" + std::string(gcsdk::kLabelRule) +
             ")"},
        {{"env=a", "env=b"}, {}, "label env is given twice"},
        {{"env=a"}, {"env"}, "label env is both set and removed"},
        {{}, {"Env"}, "--remove 'Env' is not a label key (" + std::string(gcsdk::kLabelRule) + ")"},
    };
    for (const Case& c : cases) {
        LabelList set;
        std::string error;
        EXPECT_EQ(gcsdk::ReadLabelChanges(c.pairs, c.removals, set, error), c.error.empty()) << c.error;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(set.size(), c.error.empty() ? c.pairs.size() : 0u) << c.error;
    }
    LabelList set;
    std::string error;
    ASSERT_TRUE(gcsdk::ReadLabelChanges({"a=x-1", "b="}, {}, set, error));
    EXPECT_EQ(set, (LabelList{{"a", "x-1"}, {"b", ""}}));
}

TEST(LabelsTest, AChangeKeepsTheOthersAndComparisonIgnoresOrder) {
    const LabelList current = {{"app", "vault"}, {"env", "prod"}, {"old", "1"}};
    EXPECT_EQ(gcsdk::ChangedLabels(current, {{"new", "x"}, {"env", "dev"}}, {"old", "absent"}),
              (LabelList{{"app", "vault"}, {"env", "dev"}, {"new", "x"}}));
    EXPECT_EQ(gcsdk::ChangedLabels({}, {}, {"absent"}), LabelList{});

    EXPECT_TRUE(gcsdk::LabelDifferences(current, {{"old", "1"}, {"env", "prod"}, {"app", "vault"}}).empty());
    EXPECT_EQ(gcsdk::LabelDifferences(current, {{"app", "vault"}, {"env", "dev"}, {"extra", ""}}),
              (std::vector<std::string>{"env=dev, expected env=prod", "old missing", "extra= not expected"}));
}

}  // namespace
