// The progress lines of the operations and jobs gcsdk follows and what else their lines tell, read from
// the library's log, and the Compute Engine names it checks and makes.
#include <gtest/gtest.h>

#include <sstream>
#include <utility>
#include <vector>

#include "cli/FollowedWork.h"
#include "cli/Progress.h"
#include "cli/ResourceNames.h"
#include "tests/support/TempDir.h"

namespace {

TEST(PollLineTest, ReadsTheLibrarysPollingLines) {
    using Kind = gcsdk::PollEvent::Kind;
    const std::string wait =
        "bool GoogleCloudSDKWrapper::CGoogleCloudOperations::WaitForObjectToReachEndState(const string&, "
        "GoogleCloudSDKWrapper::SOperationInfoLib&, const string&, uint32_t, uint32_t)";
    const std::string create =
        "bool GoogleCloudSDKWrapper::CGoogleCloudOperations::CreateInstance(const string&, ...)";
    const std::string job =
        "bool GoogleCloudSDKWrapper::CGoogleCloudOperations::WaitForDataflowJob(const string&, const "
        "GoogleCloudSDKWrapper::SDataflowJobInfoLib&)";
    const std::string spanner =
        "bool GoogleCloudSDKWrapper::CGoogleCloudOperations::WaitForSpannerOperation(const string&, const "
        "GoogleCloudSDKWrapper::SSpannerOperationInfoLib&)";
    struct Case {
        std::string tag;
        std::string message;
        Kind kind;
        std::string text;
    };
    const Case cases[] = {
        {wait, "Current  status : [RUNNING], waiting for status : [DONE]", Kind::kStatus, "RUNNING"},
        {wait, "Current status : [PENDING], waiting for status : [DONE]", Kind::kStatus, "PENDING"},
        {wait, "Error : [ZONE_RESOURCE_POOL_EXHAUSTED][The zone 'z' does not have enough resources.].",
         Kind::kError, "ZONE_RESOURCE_POOL_EXHAUSTED"},
        {wait, "Operation failed with HTTP error [503][SERVICE UNAVAILABLE].", Kind::kNone, ""},
        {wait, "Current  status : [], waiting for status : [DONE]", Kind::kNone, ""},
        {wait, "Current  status : [RUNNING", Kind::kNone, ""},
        {create, "Retrying operation", Kind::kRetry, ""},
        {create, "Instance creation failed with IP conflict error. Retrying with automatic IP address",
         Kind::kRetry, ""},
        {create, "Failed to create instance [vm].", Kind::kNone, ""},
        {"void Other::F()", "Current  status : [RUNNING], waiting for status : [DONE]", Kind::kNone, ""},
        {"bool ns::CGoogleCloudConnection::_sendReqFull(int)", "Response from [u]:\n{}", Kind::kExchange, ""},
        {job, "Job [2024_1] Current status : [JOB_STATE_RUNNING], waiting for status : [JOB_STATE_DONE]",
         Kind::kStatus, "JOB_STATE_RUNNING"},
        {spanner,
         "Operation [projects/p/instances/i/databases/d/operations/o] Current status : [WAITING], "
         "waiting for status : [DONE]",
         Kind::kStatus, "WAITING"},
        {job, "Retrieved Job [2024_1] info as : response : {}", Kind::kNone, ""},
        {job, "Job [2024_1] Current status : [], waiting for status : [JOB_STATE_DONE]", Kind::kNone, ""},
    };
    for (const Case& c : cases) {
        const gcsdk::PollEvent event = gcsdk::ReadPollLine({host::kLogDebug2, c.tag, c.message});
        EXPECT_EQ(event.kind, c.kind) << c.message;
        if (c.kind == Kind::kStatus || c.kind == Kind::kError) {
            EXPECT_EQ(event.text, c.text) << c.message;
        }
    }
}

// What the log tells of a Dataflow job or Spanner operation, line by line, from its launch to its end.
TEST(FollowedWorkTest, ReadsTheJobOrOperationFromItsLaunchToItsEnd) {
    const std::string ops = "bool GoogleCloudSDKWrapper::CGoogleCloudOperations::";
    const host::LogLine launch{
        host::kLogDebug2, ops + "LaunchDataflowTemplate(...)",
        "Launch Dataflow template success : response : {\"job\": {\"id\": \"j1\", "
        "\"name\": \"cloud-spanner-export-i-d\", \"currentState\": \"JOB_STATE_QUEUED\", "
        "\"location\": \"us-central1\"}}"};
    const auto Poll = [&](const std::string& state) {
        return host::LogLine{
            host::kLogDebug2, ops + "WaitForDataflowJob(...)",
            "Retrieved Job [j1] info as : response : {\"id\": \"j1\", \"currentState\": \"" + state + "\"}"};
    };
    const auto Error = [&](const std::string& function, const std::string& message) {
        return host::LogLine{host::kLogError, ops + function + "(...)", message};
    };
    const host::LogLine created{
        host::kLogLevel0, ops + "CreateSpannerDatabase(...)",
        "Retrieved Operation info as : response : {\"name\": \"projects/p/instances/i/"
        "databases/d/operations/o1\", \"done\": false}"};
    const host::LogLine polledDone{
        host::kLogLevel0, ops + "WaitForSpannerOperation(...)",
        "Retrieved Operation [o1] info as : response : {\"name\": \"o1\", \"done\": true}"};
    struct Case {
        const char* what;
        std::vector<host::LogLine> lines;
        std::string id, state;
        bool ended, lost;
        std::string lostReason;
    };
    const Case cases[] = {
        {"launched", {launch}, "j1", "JOB_STATE_QUEUED", false, false, ""},
        {"done",
         {launch, Poll("JOB_STATE_RUNNING"), Poll("JOB_STATE_DONE")},
         "j1",
         "JOB_STATE_DONE",
         true,
         false,
         ""},
        {"cancelled",
         {launch, Error("WaitForDataflowJob",
                        "Failed to complete the dataflow job [p][j1]. Job State [JOB_STATE_CANCELLED]")},
         "j1",
         "JOB_STATE_CANCELLED",
         true,
         false,
         ""},
        {"a poll refused",
         {launch, Poll("JOB_STATE_RUNNING"),
          Error("WaitForDataflowJob", "Unable to retrieve job info for id [j1], response [{}]")},
         "j1",
         "JOB_STATE_RUNNING",
         false,
         true,
         ""},
        {"timed out",
         {launch, Error("WaitForDataflowJob", "Timeout waiting for status end state for Job [j1]")},
         "j1",
         "JOB_STATE_QUEUED",
         false,
         true,
         "it did not finish in the time allowed"},
        {"a poll unreadable",
         {launch, Error("WaitForDataflowJob", "Failed to parse response [x]")},
         "j1",
         "JOB_STATE_QUEUED",
         false,
         true,
         "a poll's answer could not be read"},
        {"an operation done",
         {created, polledDone},
         "projects/p/instances/i/databases/d/operations/o1",
         "DONE",
         true,
         false,
         ""},
        {"an operation lost",
         {created,
          Error("WaitForSpannerOperation", "Timeout waiting for status end state for operation [o1]")},
         "projects/p/instances/i/databases/d/operations/o1",
         "",
         false,
         true,
         "it did not finish in the time allowed"},
        {"a launch that failed",
         {Error("LaunchDataflowTemplate", "Failed to retrieve response. URL [u]")},
         "",
         "",
         false,
         false,
         ""},
    };
    for (const Case& c : cases) {
        gcsdk::FollowedWork work;
        for (const host::LogLine& line : c.lines) gcsdk::ReadWorkLine(line, work);
        EXPECT_EQ(work.id, c.id) << c.what;
        EXPECT_EQ(work.state, c.state) << c.what;
        EXPECT_EQ(work.started, !c.id.empty()) << c.what;
        EXPECT_EQ(work.ended, c.ended) << c.what;
        EXPECT_EQ(work.lostTrack, c.lost) << c.what;
        EXPECT_EQ(work.lostReason, c.lostReason) << c.what;
    }
}

class ProgressTest : public ::testing::Test {
protected:
    gcsdk::Progress::Clock Clock() {
        return [this] { return now; };
    }
    static gcsdk::PollEvent Status(const std::string& status) {
        return {gcsdk::PollEvent::Kind::kStatus, status};
    }
    double now = 1000;
    std::ostringstream out;
};

TEST_F(ProgressTest, PlainLinesWhenTheStatusChangesOrTimePasses) {
    gcsdk::Progress progress(out, gcsdk::Progress::Mode::kLines, "snapshot web-1", Clock());
    EXPECT_EQ(out.str(), "") << "nothing before the first poll";
    now += 5.9;
    progress.OnEvent(Status("RUNNING"));
    now += 10;
    progress.OnEvent(Status("RUNNING"));  // the same status again: no new line yet
    now += gcsdk::Progress::kRepeatSecs;
    progress.OnEvent(Status("RUNNING"));
    const gcsdk::PollEvent retry{gcsdk::PollEvent::Kind::kRetry, ""},
        sent{gcsdk::PollEvent::Kind::kExchange, ""};
    progress.OnEvent({gcsdk::PollEvent::Kind::kError, "ZONE_RESOURCE_POOL_EXHAUSTED"});
    progress.OnEvent(retry);
    progress.OnEvent(sent);
    progress.OnEvent(sent);
    progress.OnEvent(retry);  // no error seen before this one
    progress.OnEvent(sent);
    progress.OnEvent({gcsdk::PollEvent::Kind::kError, "ZONE_RESOURCE_POOL_EXHAUSTED"});
    progress.OnEvent(retry);  // announced after the last attempt: no request follows
    progress.Finish(true);
    progress.OnEvent(Status("LATE"));
    progress.Finish(false);  // once only
    EXPECT_EQ(out.str(),
              "  snapshot web-1 ... RUNNING (5 s)\n"
              "  snapshot web-1 ... RUNNING (45 s)\n"
              "  snapshot web-1 ... RETRYING after ZONE_RESOURCE_POOL_EXHAUSTED (45 s)\n"
              "  snapshot web-1 ... RETRYING after an error (45 s)\n"
              "  snapshot web-1 ... DONE (45 s)\n");
    EXPECT_EQ(progress.Retries(), (std::vector<std::string>{"ZONE_RESOURCE_POOL_EXHAUSTED", "an error"}));
}

TEST_F(ProgressTest, RedrawsOneLineOnATerminal) {
    {
        gcsdk::Progress progress(out, gcsdk::Progress::Mode::kTerminal, "disk d\x1b[2J", Clock());
        now += 2;
        progress.OnEvent(Status("RUNNING"));
        progress.OnEvent(Status("RUNNING"));  // redrawn: the time moves on a terminal
        now += 1;
        progress.Finish(false);
    }
    EXPECT_EQ(out.str(),
              "\r  disk d?[2J ... started (0 s)"
              "\r  disk d?[2J ... RUNNING (2 s)"
              "\r  disk d?[2J ... RUNNING (2 s)"
              "\r  disk d?[2J ... FAILED (3 s) \n");  // a blank over the longer line before
    out.str("");
    { gcsdk::Progress abandoned(out, gcsdk::Progress::Mode::kTerminal, "x", Clock()); }
    EXPECT_EQ(out.str(), "\r  x ... started (0 s)\n") << "a line left open is ended";
}

TEST_F(ProgressTest, FollowsTheLogWhileItLivesAndQuietPrintsNothing) {
    testsupport::ScopedSettings defaults("");
    const char* tag = "bool ns::CGoogleCloudOperations::WaitForObjectToReachEndState(const string&)";
    {
        gcsdk::Progress progress(out, gcsdk::Progress::Mode::kLines, "op", Clock());
        host::LogText(host::kLogDebug2, tag, "Current  status : [RUNNING], waiting for status : [DONE]");
        host::LogText(host::kLogDebug2, "void Other::F()",
                      "Current  status : [OTHER], waiting for status : [DONE]");
        progress.Finish(true);
        host::LogText(host::kLogDebug2, tag, "Current  status : [AFTER], waiting for status : [DONE]");
    }
    host::LogText(host::kLogDebug2, tag, "Current  status : [GONE], waiting for status : [DONE]");
    EXPECT_EQ(out.str(), "  op ... RUNNING (0 s)\n  op ... DONE (0 s)\n");

    out.str("");
    gcsdk::Progress quiet(out, gcsdk::Progress::Mode::kQuiet, "op", Clock());
    host::LogText(host::kLogError, tag,
                  "Error : [IP_IN_USE_BY_ANOTHER_RESOURCE][IP address '10.0.0.2' is in use.]");
    host::LogText(host::kLogDebug, "bool ns::CGoogleCloudOperations::CreateInstance(int)",
                  "Instance creation failed with IP conflict error. Retrying with automatic IP address");
    host::LogText(host::kLogDebug2, "bool ns::CGoogleCloudConnection::computeUrl(int)", "Computed URL [u]");
    quiet.Finish(true);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(quiet.Retries(), std::vector<std::string>{"IP_IN_USE_BY_ANOTHER_RESOURCE"});
}

TEST(ResourceNamesTest, TellsComputeEngineNames) {
    const std::pair<std::string, bool> cases[] = {
        {"a", true},
        {"web-1", true},
        {"a" + std::string(62, 'b'), true},
        {"a" + std::string(63, 'b'), false},
        {"", false},
        {"1abc", false},
        {"-abc", false},
        {"abc-", false},
        {"Abc", false},
        {"a_b", false},
        {"a.b", false},
        {"a b", false},
    };
    for (const auto& [name, valid] : cases) EXPECT_EQ(gcsdk::IsResourceName(name), valid) << name;
}

TEST(ResourceNamesTest, NamesSnapshotsAfterTheDiskAndTime) {
    const std::time_t when = 1712037600;  // 2024-04-02 06:00:00 UTC
    const std::pair<std::pair<std::string, std::string>, std::string> cases[] = {
        {{"", "web-1"}, "web-1-20240402-060000"},
        {{"bk-", "web-1"}, "bk-web-1-20240402-060000"},
        {{"", "Data_Disk.1"}, "data-disk-1-20240402-060000"},
        {{"", "1disk"}, "s1disk-20240402-060000"},
        {{"", "disk-"}, "disk-20240402-060000"},
    };
    for (const auto& [input, expected] : cases) {
        const std::string name = gcsdk::SnapshotName(input.first, input.second, when);
        EXPECT_EQ(name, expected);
        EXPECT_TRUE(gcsdk::IsResourceName(name)) << name;
    }

    // Long names are cut to 63 characters, and two that differ only past the cut still differ.
    const std::string longA = std::string(60, 'a') + "-one", longB = std::string(60, 'a') + "-two";
    const std::string a = gcsdk::SnapshotName("prefix-", longA, when),
                      b = gcsdk::SnapshotName("prefix-", longB, when);
    EXPECT_EQ(a.size(), 63u) << a;
    EXPECT_TRUE(gcsdk::IsResourceName(a)) << a;
    EXPECT_TRUE(gcsdk::IsResourceName(b)) << b;
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind("prefix-aaaa", 0), 0u) << a;
    EXPECT_EQ(a.substr(a.size() - 16), "-20240402-060000") << a;
}

TEST(ResourceNamesTest, TellsGuidsAndWellFormedPatterns) {
    for (const auto& [text, guid] : std::vector<std::pair<std::string, bool>>{{"1234567890123456789", true},
                                                                              {"18446744073709551615", true},
                                                                              {"18446744073709551616", false},
                                                                              {"", false},
                                                                              {"12a", false},
                                                                              {"-1", false},
                                                                              {" 1", false},
                                                                              {"1e3", false}})
        EXPECT_EQ(gcsdk::IsGuid(text), guid) << text;

    struct Case {
        std::string pattern;
        std::string error;  // empty: well formed
    };
    const Case cases[] = {
        {"prod-*", ""},
        {"gcemu-project-[12]", ""},
        {"[!a]?", ""},
        {"[]x]", ""},  // a ']' first in a set is itself
        {"a\\[b", ""},
        {"", ""},
        {"[", "the '[' at position 1 is not closed by a ']'"},
        {"ok-[a", "the '[' at position 4 is not closed by a ']'"},
        {"[]", "the '[' at position 1 is not closed by a ']'"},
        {"a\\", "it ends with '\\', which escapes nothing"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(gcsdk::IsWellFormedPattern(c.pattern, error), c.error.empty()) << c.pattern;
        EXPECT_EQ(error, c.error) << c.pattern;
    }
}

TEST(ResourceNamesTest, SplitsLists) {
    EXPECT_EQ(gcsdk::SplitList("a,b,,c,"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(gcsdk::SplitList("").empty());
    EXPECT_EQ(gcsdk::SplitList("one"), std::vector<std::string>{"one"});
}

}  // namespace
