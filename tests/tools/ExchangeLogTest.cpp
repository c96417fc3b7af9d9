// What gcsdk reads in the library's log about its HTTP exchanges: failed requests, answers, operations,
// and what it makes of them (the places a listing skipped, a change whose following failed).
#include <gtest/gtest.h>

#include "cli/ExchangeLog.h"
#include "tests/support/TempDir.h"

namespace {

using gcsdk::FollowOutcome;
using gcsdk::LogEvent;

const char kConnection[] = "bool GoogleCloudSDKWrapper::CGoogleCloudConnection::_sendReqFull(int, ...)";
const char kWait[] =
    "bool GoogleCloudSDKWrapper::CGoogleCloudOperations::WaitForObjectToReachEndState(const string&)";
const std::string kCompute = "https://compute.googleapis.com/compute/v1/projects/";

std::string Failed(const std::string& method, const std::string& code, const std::string& url,
                   const std::string& message) {
    return "Request failed: method [" + method + "] code [" + code + "] url [" + url + "] message [" +
           message + "]";
}

LogEvent Read(int level, const std::string& tag, const std::string& message) {
    LogEvent event;
    EXPECT_TRUE(gcsdk::ReadLogEvent({level, tag, message}, event)) << message;
    return event;
}

TEST(ExchangeLogTest, ReadsFailuresAnswersOperationsAndErrors) {
    const LogEvent failed = Read(host::kLogDebug, kConnection,
                                 Failed("GET", "503", kCompute + "p/zones/z/instances?pageToken=x",
                                        "Backend [b] unavailable [try again]"));
    EXPECT_EQ(failed.kind, LogEvent::Kind::kFailed);
    EXPECT_EQ(failed.method, "GET");
    EXPECT_EQ(failed.code, "503");
    EXPECT_EQ(failed.url, kCompute + "p/zones/z/instances?pageToken=x");
    EXPECT_EQ(failed.message, "Backend [b] unavailable [try again]") << "the message may hold brackets";

    const LogEvent operation =
        Read(host::kLogDebug2, kConnection,
             "Response from [" + kCompute + "p/zones/z/operations/op-1]:\n" +
                 R"({"kind": "compute#operation", "status": "DONE", "error": {"errors": [{"code": "X"}]}} )");
    EXPECT_EQ(operation.kind, LogEvent::Kind::kAnswered);
    EXPECT_TRUE(operation.operation && operation.operationFailed);
    EXPECT_EQ(operation.status, "DONE");
    const LogEvent page = Read(host::kLogDebug2, kConnection,
                               "Response from [" + kCompute + "p/zones/z/instances]:\n{\"items\": []}");
    EXPECT_EQ(page.kind, LogEvent::Kind::kAnswered);
    EXPECT_FALSE(page.operation);

    EXPECT_EQ(Read(host::kLogError, "void X::Y()", "Did not find any instance").kind, LogEvent::Kind::kError);
    EXPECT_EQ(Read(host::kLogError, kWait, "Timeout waiting for status end state for  [op-1]").kind,
              LogEvent::Kind::kTimeout);

    // A failed request's own response line (level 0), other debug lines and other tags make nothing.
    const std::pair<int, std::string> none[] = {
        {host::kLogLevel0, "Response from [u]:\n{}"},
        {host::kLogDebug2, "Computed URL [u]"},
        {host::kLogDebug, "Request failed: method [GET] code [503]"},
    };
    for (const auto& [level, message] : none) {
        LogEvent event;
        EXPECT_FALSE(gcsdk::ReadLogEvent({level, kConnection, message}, event)) << message;
    }
    LogEvent event;
    EXPECT_FALSE(
        gcsdk::ReadLogEvent({host::kLogDebug, "void Other::F()", Failed("GET", "503", "u", "m")}, event));
}

LogEvent FailedEvent(const std::string& method, const std::string& code, const std::string& url) {
    LogEvent event;
    event.kind = LogEvent::Kind::kFailed;
    event.method = method;
    event.code = code;
    event.url = url;
    event.message = "no";
    return event;
}

LogEvent Timeout() {
    LogEvent event;
    event.kind = LogEvent::Kind::kTimeout;
    return event;
}

LogEvent Answer(const std::string& url, const std::string& operationStatus = "", bool failed = false) {
    LogEvent event;
    event.kind = LogEvent::Kind::kAnswered;
    event.url = url;
    event.operation = !operationStatus.empty();
    event.status = operationStatus;
    event.operationFailed = failed;
    return event;
}

TEST(ExchangeLogTest, NamesEachPlaceAListingCouldNotList) {
    const std::vector<LogEvent> events = {
        FailedEvent("GET", "503", kCompute + "p1/zones/us-central1-b/instances"),
        FailedEvent("GET", "503",
                    kCompute + "p1/zones/us-central1-b/instances?pageToken=2"),  // the same place
        FailedEvent("GET", "UNAVAILABLE", kCompute + "p2/regions/europe-west4"),
        FailedEvent("GET", "404", kCompute + "p1/zones/us-central1-c/instances"),  // an empty place
        FailedEvent("POST", "503", kCompute + "p1/zones/z/instances"),             // not a listing's
        FailedEvent("GET", "401", kCompute + "p3/zones"),                          // sent again and answered
        Answer(kCompute + "p3/zones"),
        FailedEvent("GET", "403", kCompute + "p%2D4/zones"),
        FailedEvent("GET", "500", "https://cloudresourcemanager.googleapis.com/v1/projects?pageSize=5"),
    };
    std::vector<std::string> described;
    for (const gcsdk::FailedPlace& place : gcsdk::FailedPlaces(events)) described.push_back(place.Describe());
    EXPECT_EQ(described,
              (std::vector<std::string>{
                  "zone us-central1-b of project p1", "region europe-west4 of project p2", "project p-4",
                  "https://cloudresourcemanager.googleapis.com/v1/projects?pageSize=5"}));
    const gcsdk::FailedPlace zone = gcsdk::FailedPlaces(events).front();
    EXPECT_EQ(zone.project, "p1");
    EXPECT_EQ(zone.zone, "us-central1-b");
    EXPECT_EQ(zone.code, "503");
    EXPECT_EQ(zone.url, kCompute + "p1/zones/us-central1-b/instances");
}

TEST(ExchangeLogTest, TellsAFollowingThatFailedFromAChangeThatFailed) {
    const std::string post = kCompute + "p/zones/z/disks/d/createSnapshot";
    const std::string poll = kCompute + "p/zones/z/operations/op-1";
    using State = FollowOutcome::State;
    struct Case {
        const char* what;
        std::vector<LogEvent> events;
        State state;
    };
    const Case cases[] = {
        {"refused", {FailedEvent("POST", "400", post)}, State::kPlain},
        {"accepted, a poll failed",
         {Answer(post, "PENDING"), FailedEvent("GET", "503", poll)},
         State::kFollowFailed},
        {"accepted, timed out",
         {Answer(post, "PENDING"), Answer(poll, "RUNNING"), Timeout()},
         State::kFollowFailed},
        {"the operation's own error", {Answer(post, "PENDING"), Answer(poll, "DONE", true)}, State::kPlain},
        {"done, the read back failed",
         {Answer(post, "PENDING"), Answer(poll, "DONE"),
          FailedEvent("GET", "503", kCompute + "p/global/snapshots/s")},
         State::kReadBackFailed},
        {"a poll failed, then sent again and refused",
         {Answer(post, "PENDING"), FailedEvent("GET", "503", poll), Answer(post, "PENDING"),
          Answer(poll, "DONE", true)},
         State::kPlain},
    };
    for (const Case& c : cases) {
        const FollowOutcome outcome = gcsdk::ReadFollow(c.events);
        EXPECT_EQ(outcome.state, c.state) << c.what;
        if (c.state != State::kPlain) {
            EXPECT_FALSE(outcome.reason.empty()) << c.what;
        }
    }
    EXPECT_EQ(gcsdk::ReadFollow({Answer(post, "PENDING"), FailedEvent("GET", "503", poll)}).reason,
              "no (503)");
}

TEST(ExchangeLogTest, HearsTheLogWhileItLives) {
    testsupport::ScopedSettings defaults("");
    std::unique_ptr<gcsdk::ExchangeLog> log = std::make_unique<gcsdk::ExchangeLog>();
    host::LogText(host::kLogError, "void X::Y()", "first");
    const size_t mark = log->Mark();
    host::LogText(host::kLogError, "void X::Y()", "second");
    host::LogText(host::kLogDebug, "void X::Y()", "not an error");
    EXPECT_EQ(gcsdk::LastErrorLine(log->Since(0)), "second");
    ASSERT_EQ(log->Since(mark).size(), 1u);
    EXPECT_TRUE(log->Since(mark + 5).empty());
    log.reset();
    host::LogText(host::kLogError, "void X::Y()", "after");  // nobody listening, nothing breaks
    EXPECT_EQ(gcsdk::LastErrorLine({}), "");
}

}  // namespace
