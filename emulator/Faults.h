// Injected faults: the next N requests that match a rule fail in a chosen way. Rules are consumed in
// the order they were added, and apply before authentication and routing (a refused token is a status
// fault on "www.googleapis.com/oauth2").
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "host/json/JsonValue.h"

namespace gcemu {

enum class FaultKind {
    kStatus,  // answer with the status and body
    kReset,   // no response: the connection is shut down
    kStall,   // wait stallMs, then answer normally, or with the status when one is set
};

struct FaultRule {
    std::string method;             // "" = any
    std::string hostAndPathPrefix;  // "compute.googleapis.com/compute/v1/projects/p1/zones"
    int count = 1;                  // how many matching requests it takes
    FaultKind kind = FaultKind::kStatus;
    int status = 0;    // kStatus: 0 means 503
    std::string body;  // "" = Google's error body for the status
    int stallMs = 0;
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

    // A rule from the control API's JSON: {method, prefix, count, kind: "status"|"reset"|"stall", status,
    // body (text, or JSON that is sent as it is), stallMs}. Throws std::invalid_argument.
    static FaultRule FromJson(const json_spirit::mObject& json);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<FaultRule> m_rules;
    bool m_interrupted = false;
};

}  // namespace gcemu
