// The demo's steps: each runs unless one before it failed, and prints one line with what it did, the
// key facts and the requests it cost (counted in the emulator's journal). The summary adds them up.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "emulator/ConnectionCounts.h"
#include "emulator/Journal.h"
#include "host/json/JsonValue.h"

namespace gcsdk {
namespace demo {

// What a step fills in.
struct StepReport {
    std::string facts;                 // "web-1 in gcemu-project-1, us-central1-a"
    std::vector<std::string> details;  // lines printed under the step's line
    std::string failure;               // why it failed; the library's error
};

// Requests and the distinct operations and jobs they polled, among the journal's entries from `from` on.
struct Traffic {
    size_t requests = 0;
    size_t operations = 0;         // Compute Engine's
    size_t spannerOperations = 0;  // Cloud Spanner's
    size_t dataflowJobs = 0;
};
Traffic CountTraffic(const std::vector<gcemu::JournalEntry>& entries, size_t from);

// The requests each host received and the TLS connections they came on, in host order; a host with
// connections but no request (a client that hung up at once) is listed too.
struct HostTraffic {
    std::string host;
    size_t requests = 0;
    size_t connections = 0;
};
std::vector<HostTraffic> CountHostTraffic(const std::vector<gcemu::JournalEntry>& entries,
                                          const std::map<std::string, size_t>& connections);

class StepRunner {
public:
    // With json, nothing is printed until the summary, which is then one JSON object. With connections,
    // the summary gives the requests and connections of every host.
    StepRunner(std::ostream& out, bool json, const gcemu::Journal& journal,
               const gcemu::ConnectionCounts* connections = nullptr);

    // Runs the body and prints "N. title: facts (R requests)", or "N. title: FAILED: why"; once a step
    // has failed, the later ones print "skipped". Returns whether the step ran and succeeded.
    bool Run(const std::string& title, const std::function<bool(StepReport&)>& body);
    bool Succeeded() const { return m_failed == 0 && m_skipped == 0; }

    // "summary: ..." with the requests sent, the operations (and Spanner operations and Dataflow jobs, when
    // there were any) followed and the time since the start; before it a line per host with its requests
    // and connections.
    void PrintSummary(const std::string& failureHint = "");

private:
    std::ostream& m_out;
    const bool m_json;
    const gcemu::Journal& m_journal;
    const gcemu::ConnectionCounts* m_connections;
    const std::chrono::steady_clock::time_point m_start;
    size_t m_number = 0;
    size_t m_failed = 0;
    size_t m_skipped = 0;
    json_spirit::mArray m_steps;
};

}  // namespace demo
}  // namespace gcsdk
