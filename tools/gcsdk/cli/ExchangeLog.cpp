#include "cli/ExchangeLog.h"

#include <algorithm>

#include "host/ZkJson.h"

namespace gcsdk {

namespace {

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// "Request failed: method [M] code [C] url [U] message [T]"; the message is last and may hold brackets.
bool ReadRequestFailed(const std::string& text, LogEvent& event) {
    static const std::string kStart = "Request failed: method [";
    if (text.rfind(kStart, 0) != 0) return false;
    const size_t code = text.find("] code [", kStart.size());
    const size_t url = code == std::string::npos ? code : text.find("] url [", code);
    const size_t message = url == std::string::npos ? url : text.find("] message [", url);
    if (message == std::string::npos) return false;
    event.kind = LogEvent::Kind::kFailed;
    event.method = text.substr(kStart.size(), code - kStart.size());
    event.code = text.substr(code + 8, url - code - 8);
    event.url = text.substr(url + 7, message - url - 7);
    event.message = text.substr(message + 11);
    if (!event.message.empty() && event.message.back() == ']') event.message.pop_back();
    return true;
}

// "Response from [URL]:\n<body>", logged at level 2 for an answered request (a failed one's is level 0).
bool ReadAnswer(const std::string& text, LogEvent& event) {
    static const std::string kStart = "Response from [";
    if (text.rfind(kStart, 0) != 0) return false;
    const size_t end = text.find("]:", kStart.size());
    if (end == std::string::npos) return false;
    event.kind = LogEvent::Kind::kAnswered;
    event.url = text.substr(kStart.size(), end - kStart.size());
    // Only an operation's body matters, and only a few of its fields: a list page is not kept.
    if (!Contains(text, "compute#operation")) return true;
    json_spirit::mObject body;
    const size_t newline = text.find('\n', end);
    if (newline == std::string::npos || !ZkJson::Unserialize(text.substr(newline + 1), body)) return true;
    if (ZkJson::GetStringValue(body, "kind") != "compute#operation") return true;
    event.operation = true;
    event.status = ZkJson::GetStringValue(body, "status");
    event.operationFailed = ZkJson::FindObject(body, "error") != nullptr;
    return true;
}

bool IsOperationUrl(const std::string& url) {
    return Contains(url, "/operations/");
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Decoded(const std::string& segment) {
    std::string text;
    for (size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] == '%' && i + 2 < segment.size() && HexValue(segment[i + 1]) >= 0 &&
            HexValue(segment[i + 2]) >= 0) {
            text += static_cast<char>(HexValue(segment[i + 1]) * 16 + HexValue(segment[i + 2]));
            i += 2;
        } else {
            text += segment[i];
        }
    }
    return text;
}

std::string Reason(const LogEvent& event) {
    return event.message.empty() ? event.code : event.message + " (" + event.code + ")";
}

}  // namespace

bool ReadLogEvent(const host::LogLine& line, LogEvent& event) {
    event = LogEvent();
    if (Contains(line.tag, "CGoogleCloudConnection")) {
        if (ReadRequestFailed(line.message, event)) return true;
        if (line.level == host::kLogDebug2 && ReadAnswer(line.message, event)) return true;
    }
    if (line.level != host::kLogError) return false;
    event.kind = Contains(line.tag, "WaitForObjectToReachEndState") &&
                         line.message.rfind("Timeout waiting for status end state", 0) == 0
                     ? LogEvent::Kind::kTimeout
                     : LogEvent::Kind::kError;
    event.message = line.message;
    return true;
}

ExchangeLog::ExchangeLog() {
    m_sink = std::make_unique<ScopedLogSink>(nullptr, [this](const host::LogLine& line) {
        LogEvent event;
        if (!ReadLogEvent(line, event)) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(event));
    });
}

ExchangeLog::~ExchangeLog() {
    m_sink.reset();
}

size_t ExchangeLog::Mark() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.size();
}

std::vector<LogEvent> ExchangeLog::Since(size_t mark) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (mark >= m_events.size()) return {};
    return std::vector<LogEvent>(m_events.begin() + static_cast<std::ptrdiff_t>(mark), m_events.end());
}

std::string FailedPlace::Describe() const {
    if (project.empty()) return url;
    if (!zone.empty()) return "zone " + zone + " of project " + project;
    if (!region.empty()) return "region " + region + " of project " + project;
    return "project " + project;
}

FailedPlace PlaceOfUrl(const std::string& url) {
    FailedPlace place;
    place.url = url;
    std::string path = url.substr(0, url.find('?'));
    const size_t scheme = path.find("://");
    if (scheme != std::string::npos) path = path.substr(std::min(path.find('/', scheme + 3), path.size()));
    std::vector<std::string> segments;
    for (size_t start = 0; start < path.size();) {
        const size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) segments.push_back(Decoded(path.substr(start, slash - start)));
        start = slash + 1;
    }
    for (size_t i = 0; i + 1 < segments.size(); ++i) {
        if (segments[i] != "projects") continue;
        place.project = segments[i + 1];
        if (i + 3 < segments.size()) {
            if (segments[i + 2] == "zones") place.zone = segments[i + 3];
            if (segments[i + 2] == "regions") place.region = segments[i + 3];
        }
        break;
    }
    return place;
}

std::vector<FailedPlace> FailedPlaces(const std::vector<LogEvent>& events) {
    std::vector<FailedPlace> places;
    for (size_t i = 0; i < events.size(); ++i) {
        const LogEvent& event = events[i];
        if (event.kind != LogEvent::Kind::kFailed || event.method != "GET" || event.code == "404") continue;
        // A request sent again and answered (after a token renewal) lost nothing.
        const bool answeredLater = std::any_of(
            events.begin() + static_cast<std::ptrdiff_t>(i) + 1, events.end(), [&](const LogEvent& later) {
                return later.kind == LogEvent::Kind::kAnswered && later.url == event.url;
            });
        if (answeredLater) continue;
        FailedPlace place = PlaceOfUrl(event.url);
        place.code = event.code;
        place.error = event.message;
        const bool known = std::any_of(places.begin(), places.end(), [&](const FailedPlace& other) {
            return other.Describe() == place.Describe();
        });
        if (!known) places.push_back(std::move(place));
    }
    return places;
}

FollowOutcome ReadFollow(const std::vector<LogEvent>& events) {
    FollowOutcome outcome;
    bool accepted = false, done = false;
    for (const LogEvent& event : events) {
        switch (event.kind) {
            case LogEvent::Kind::kAnswered:
                if (!event.operation) break;
                if (!IsOperationUrl(event.url)) {  // a change accepted: what came before is history
                    accepted = true;
                    done = false;
                    outcome = FollowOutcome();
                } else if (accepted && event.status == "DONE") {
                    done = true;
                    // A failed operation is the change's own failure, told by the library's error.
                    if (event.operationFailed) accepted = false;
                }
                break;
            case LogEvent::Kind::kFailed:
                if (accepted && !done && IsOperationUrl(event.url)) {
                    outcome.state = FollowOutcome::State::kFollowFailed;
                    outcome.reason = Reason(event);
                } else if (accepted && done && event.method == "GET" &&
                           outcome.state == FollowOutcome::State::kPlain) {
                    outcome.state = FollowOutcome::State::kReadBackFailed;
                    outcome.reason = Reason(event);
                }
                break;
            case LogEvent::Kind::kTimeout:
                if (accepted && !done) {
                    outcome.state = FollowOutcome::State::kFollowFailed;
                    outcome.reason = "it did not finish in the time allowed";
                }
                break;
            case LogEvent::Kind::kError:
                break;
        }
    }
    return outcome;
}

std::string LastErrorLine(const std::vector<LogEvent>& events) {
    for (auto event = events.rbegin(); event != events.rend(); ++event)
        if (event->kind == LogEvent::Kind::kError || event->kind == LogEvent::Kind::kTimeout)
            return event->message;
    return "";
}

bool Answered(const std::vector<LogEvent>& events, const std::string& urlPrefix) {
    return std::any_of(events.begin(), events.end(), [&](const LogEvent& event) {
        return event.kind == LogEvent::Kind::kAnswered && event.url.rfind(urlPrefix, 0) == 0;
    });
}

}  // namespace gcsdk
