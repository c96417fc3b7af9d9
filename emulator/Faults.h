// Injected faults: the next N requests that match a rule fail in a chosen way. Rules are consumed in
// the order they were added, and apply before authentication and routing (a refused token is a status
// fault on "www.googleapis.com/oauth2").
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "host/json/JsonValue.h"

namespace gcemu {

enum class FaultKind {
    kStatus,     // answer with the status and body
    kReset,      // no response: the connection is shut down
    kStall,      // wait stallMs, then answer normally, or with the status when one is set
    kTruncate,   // a Content-Length larger than the body sent, then the connection is shut down
    kMalformed,  // a body that is not JSON
    kEmpty,      // a 2xx with no body at all (Content-Length: 0)
};

struct FaultRule {
    // Written in braces as {method, prefix, count, kind, status, body, stallMs, retryAfter}, any tail left
    // out: a constructor rather than an aggregate, so that a member added at the end leaves them as they are.
    FaultRule(std::string method = "", std::string prefix = "", int count = 1,
              FaultKind kind = FaultKind::kStatus, int status = 0, std::string body = "", int stallMs = 0,
              std::string retryAfter = "")
        : method(std::move(method)),
          hostAndPathPrefix(std::move(prefix)),
          count(count),
          kind(kind),
          status(status),
          body(std::move(body)),
          stallMs(stallMs),
          retryAfter(std::move(retryAfter)) {}

    std::string method;             // "" = any
    std::string hostAndPathPrefix;  // "compute.googleapis.com/compute/v1/projects/p1/zones"
    int count = 1;                  // how many matching requests it takes
    FaultKind kind = FaultKind::kStatus;
    // 0: 503 for kStatus; 200 for kMalformed and kEmpty; for kTruncate the real answer's status, or 200
    // with a body of the rule's own.
    int status = 0;
    // kStatus: "" = Google's error body for the status. kTruncate: "" = the first half of the real
    // answer, else this text (announced as twice its length). kMalformed: "" = `{"items": [`.
    std::string body;
    int stallMs = 0;
    std::string retryAfter;  // sent as Retry-After when not empty (seconds or an HTTP date, as given)
};

const char* FaultKindName(FaultKind kind);

class Faults {
public:
    void Add(FaultRule rule);
    void Clear();
    size_t Pending() const;  // rules with requests left to take

    // The first rule matching the request, one of its requests consumed; nullopt when none matches.
    std::optional<FaultRule> Take(const std::string& method, const std::string& host,
                                  const std::string& path);

    // Waits up to ms; false when cut short by Interrupt().
    bool Stall(int ms);
    // Ends every stall at once, and makes stalls return at once until Resume() (the emulator stopping).
    void Interrupt();
    void Resume();

    // A rule from the control API's JSON: {method, prefix, count, kind: "status"|"reset"|"stall"|
    // "truncate"|"malformed"|"empty", status, body (text, or JSON that is sent as it is), stallMs,
    // retryAfter (text, or a number of seconds)}. Throws std::invalid_argument.
    static FaultRule FromJson(const json_spirit::mObject& json);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<FaultRule> m_rules;
    bool m_interrupted = false;
};

}  // namespace gcemu
