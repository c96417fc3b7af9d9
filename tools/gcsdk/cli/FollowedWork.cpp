#include "cli/FollowedWork.h"

#include "host/ZkJson.h"

namespace gcsdk {

namespace {

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

bool StartsWith(const std::string& text, const char* start) {
    return text.rfind(start, 0) == 0;
}

// The JSON object after the marker in the message; false when there is none.
bool ObjectAfter(const std::string& message, const char* marker, json_spirit::mObject& object) {
    const size_t at = message.find(marker);
    return at != std::string::npos &&
           ZkJson::Unserialize(message.substr(at + std::string(marker).size()), object);
}

// A job as Dataflow sends it: on its own, or under "job" as the launch answers.
void ReadJob(const json_spirit::mObject& body, FollowedWork& work, bool launch) {
    const json_spirit::mObject* wrapped = ZkJson::FindObject(body, "job");
    const json_spirit::mObject& job = wrapped ? *wrapped : body;
    if (launch) {
        work.id = ZkJson::GetStringValue(job, "id");
        work.name = ZkJson::GetStringValue(job, "name");
        work.location = ZkJson::GetStringValue(job, "location");
        work.started = true;
    }
    const std::string state = ZkJson::GetStringValue(job, "currentState");
    if (!state.empty()) work.state = state;
    if (IsEndedJobState(work.state)) work.ended = true;
}

void ReadOperation(const json_spirit::mObject& operation, FollowedWork& work) {
    if (work.id.empty()) work.id = ZkJson::GetStringValue(operation, "name");
    work.started = true;
    const auto done = operation.find("done");
    if ((done != operation.end() && done->second.type() == json_spirit::bool_type &&
         done->second.get_bool()) ||
        ZkJson::FindObject(operation, "error")) {
        work.ended = true;
        work.state = "DONE";
    }
}

void LoseTrack(FollowedWork& work, const std::string& reason) {
    if (work.ended) return;
    work.lostTrack = true;
    work.lostReason = reason;
}

}  // namespace

bool IsEndedJobState(const std::string& state) {
    return state == "JOB_STATE_DONE" || state == "JOB_STATE_FAILED" || state == "JOB_STATE_CANCELLED" ||
           state == "JOB_STATE_UPDATED";
}

bool ReadWorkLine(const host::LogLine& line, FollowedWork& work) {
    const std::string& text = line.message;
    json_spirit::mObject body;
    const bool dataflow = Contains(line.tag, "WaitForDataflowJob"),
               spanner = Contains(line.tag, "WaitForSpannerOperation");
    if (Contains(line.tag, "LaunchDataflowTemplate")) {
        if (!StartsWith(text, "Launch Dataflow template success") || !ObjectAfter(text, "response : ", body))
            return false;
        work = FollowedWork();
        ReadJob(body, work, true);
        return true;
    }
    if (Contains(line.tag, "CreateSpannerDatabase")) {
        if (!StartsWith(text, "Retrieved Operation info as") || !ObjectAfter(text, "response : ", body))
            return false;
        work = FollowedWork();
        ReadOperation(body, work);
        return true;
    }
    if (!dataflow && !spanner) return false;
    if (StartsWith(text, "Retrieved ")) {
        if (!ObjectAfter(text, "response : ", body)) return false;
        if (dataflow)
            ReadJob(body, work, false);
        else
            ReadOperation(body, work);
        return true;
    }
    if (line.level != host::kLogError) return false;
    if (StartsWith(text, "Failed to complete the dataflow job")) {
        const size_t at = text.rfind("Job State [");
        if (at != std::string::npos) work.state = text.substr(at + 11, text.find(']', at) - at - 11);
        work.ended = true;
    } else if (StartsWith(text, "Failed to complete the spanner operation")) {
        work.ended = true;
        work.state = "DONE";
    } else if (StartsWith(text, "Timeout waiting for status end state")) {
        LoseTrack(work, "it did not finish in the time allowed");
    } else if (StartsWith(text, "Unable to retrieve")) {
        LoseTrack(work, "");  // the failed exchange is in the error state
    } else if (StartsWith(text, "Failed to parse response")) {
        LoseTrack(work, "a poll's answer could not be read");
    } else {
        return false;
    }
    return true;
}

WorkLog::WorkLog() {
    m_sink = std::make_unique<ScopedLogSink>(nullptr, [this](const host::LogLine& line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ReadWorkLine(line, m_work);
    });
}

WorkLog::~WorkLog() {
    m_sink.reset();
}

FollowedWork WorkLog::Work() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_work;
}

}  // namespace gcsdk
