// What the library's log tells of the Dataflow job or Spanner operation a call starts and follows: the
// facade says only whether the whole succeeded. The lines read: the launch's "Launch Dataflow template
// success : response : <job>", each poll's "Retrieved Job [ID] info as : response : <job>" and
// "Retrieved Operation [NAME] info as : response : <operation>", the end states ("Failed to complete the
// dataflow job [P][ID]. Job State [S]", "Failed to complete the spanner operation ..."), and the lines of a
// follow that lost track: a poll that failed or could not be read, and "Timeout waiting for status end
// state". Work whose track was lost may still complete.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "cli/LogSink.h"

namespace gcsdk {

struct FollowedWork {
    std::string id;        // the Dataflow job's id, or the Spanner operation's name
    std::string name;      // the job's name
    std::string location;  // the job's region
    std::string state;     // the job's last state read ("JOB_STATE_RUNNING"); "DONE" for an operation
    bool started = false;  // the launch (or the creation) was answered
    bool ended = false;    // a poll read an end state: state says which
    bool lostTrack = false;
    std::string lostReason;  // "it did not finish in the time allowed"; empty: see the error state
};

// Whether a Dataflow job in this state has ended (done, failed, cancelled or replaced).
bool IsEndedJobState(const std::string& state);

// What one line of the library's log changes in work; false when it says nothing of it.
bool ReadWorkLine(const host::LogLine& line, FollowedWork& work);

// Reads the library's log into a FollowedWork while it lives.
class WorkLog {
public:
    WorkLog();
    ~WorkLog();
    WorkLog(const WorkLog&) = delete;
    WorkLog& operator=(const WorkLog&) = delete;

    FollowedWork Work() const;

private:
    mutable std::mutex m_mutex;
    FollowedWork m_work;
    std::unique_ptr<ScopedLogSink> m_sink;
};

}  // namespace gcsdk
