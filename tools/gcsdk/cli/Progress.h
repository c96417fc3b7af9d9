// A progress line for a library call that follows long-running work. The library says how the work
// goes only in its log: for a Compute Engine operation "Current  status : [RUNNING], waiting for status :
// [DONE]" at each poll that does not find it done, "Error : [CODE][message]" when it fails, and "Retrying
// ..." when instance creation means to send the request again (also after its last attempt, when it gives
// up instead: a retry counts once the connection is at work again); for a Dataflow job "Job [ID] Current
// status : [JOB_STATE_RUNNING], ..." and for a Spanner operation "Operation [NAME] Current status :
// [WAITING], ...". Progress reads those lines while it lives.
//
// On a terminal the line is redrawn in place ("\r  snapshot web-1 ... RUNNING (12 s)"); otherwise a
// plain line is printed when the status changes (and now and then while it does not); quiet prints
// nothing but still collects the retries.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "cli/LogSink.h"

namespace gcsdk {

// What one log line of the library says about an operation it follows.
struct PollEvent {
    enum class Kind { kNone, kStatus, kError, kRetry, kExchange };  // kExchange: the connection at work
    Kind kind = Kind::kNone;
    std::string text;  // the status ("RUNNING") or the error code ("ZONE_RESOURCE_POOL_EXHAUSTED")
};

PollEvent ReadPollLine(const host::LogLine& line);

class Progress {
public:
    enum class Mode { kQuiet, kLines, kTerminal };
    using Clock = std::function<double()>;  // seconds from any fixed point

    // Without a clock, the steady clock.
    Progress(std::ostream& out, Mode mode, std::string label, Clock clock = nullptr);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // The last line ("DONE" or "FAILED"); the library's log is no longer read after it.
    void Finish(bool succeeded);

    // Error codes after which the library tried again, in order.
    const std::vector<std::string>& Retries() const { return m_retries; }
    // What one library log line changes; the log sink calls it, and tests.
    void OnEvent(const PollEvent& event);

    // Seconds between plain lines that repeat the same status.
    static constexpr double kRepeatSecs = 30;

private:
    void Show(const std::string& status, bool last);

    std::ostream& m_out;
    const Mode m_mode;
    const std::string m_label;
    Clock m_clock;
    double m_start = 0;
    double m_lastLine = 0;
    std::string m_shown;     // the status last printed
    size_t m_drawnSize = 0;  // of the line now on the terminal
    std::string m_lastError;
    bool m_retryAnnounced = false;  // "Retrying" logged, no request sent since
    std::vector<std::string> m_retries;
    bool m_finished = false;
    std::unique_ptr<ScopedLogSink> m_sink;
};

}  // namespace gcsdk
