// What the library's log says about its HTTP exchanges, read while an ExchangeLog lives, and what a
// command makes of it: the places a listing could not list, whether a change was accepted before the
// following of its operation failed, the library's last error line.
//
// The lines read: "Request failed: method [GET] code [503] url [https://...] message [text]" (debug, from
// CGoogleCloudConnection, after every failed exchange; code is the HTTP status or "UNAVAILABLE"), the
// level-2 "Response from [URL]:\n<body>" of every answered request, the error lines, and the operation
// poll's "Timeout waiting for status end state".
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/LogSink.h"

namespace gcsdk {

struct LogEvent {
    enum class Kind { kFailed, kAnswered, kError, kTimeout };
    Kind kind = Kind::kError;
    std::string method;   // kFailed
    std::string code;     // kFailed: "503", "UNAVAILABLE"
    std::string url;      // kFailed, kAnswered
    std::string message;  // kFailed: the reason; kError: the line
    // kAnswered with a Compute Engine operation in the body: its status and whether it reports errors.
    bool operation = false;
    std::string status;
    bool operationFailed = false;
};

// The event a log line makes; false when it makes none.
bool ReadLogEvent(const host::LogLine& line, LogEvent& event);

class ExchangeLog {
public:
    ExchangeLog();
    ~ExchangeLog();
    ExchangeLog(const ExchangeLog&) = delete;
    ExchangeLog& operator=(const ExchangeLog&) = delete;

    // How many events so far: a mark for Since.
    size_t Mark() const;
    std::vector<LogEvent> Since(size_t mark) const;

private:
    mutable std::mutex m_mutex;
    std::vector<LogEvent> m_events;
    std::unique_ptr<ScopedLogSink> m_sink;
};

// A place a listing could not list: a zone's or region's list (or a project's zone or region list) that
// failed with anything but 404 (an empty place) and was not answered later.
struct FailedPlace {
    std::string project, zone, region;  // from the URL; empty when it does not name them
    std::string url, code, error;
    // "zone Z of project P", "region R of project P", "project P", or the URL.
    std::string Describe() const;
};

std::vector<FailedPlace> FailedPlaces(const std::vector<LogEvent>& events);
// The project, zone and region a Compute Engine URL names.
FailedPlace PlaceOfUrl(const std::string& url);

// How a change the library followed ended, when not plainly.
struct FollowOutcome {
    enum class State {
        kPlain,           // not accepted, refused, or failed with the operation's own error
        kFollowFailed,    // accepted, then polling its operation failed or timed out: it may still complete
        kReadBackFailed,  // done, then reading the result back failed
    };
    State state = State::kPlain;
    std::string reason;
};

FollowOutcome ReadFollow(const std::vector<LogEvent>& events);

// The text of the library's last error line; empty when there was none.
std::string LastErrorLine(const std::vector<LogEvent>& events);

// Whether a request to a URL that starts with the prefix was answered.
bool Answered(const std::vector<LogEvent>& events, const std::string& urlPrefix);

}  // namespace gcsdk
