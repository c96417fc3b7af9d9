#include "demo/StepRunner.h"

#include <cstdio>
#include <ostream>
#include <set>

#include "cli/Table.h"
#include "host/ZkJson.h"

namespace gcsdk {
namespace demo {

Traffic CountTraffic(const std::vector<gcemu::JournalEntry>& entries, size_t from) {
    Traffic traffic;
    std::set<std::string> operations, spanner, jobs;
    for (size_t i = from; i < entries.size(); ++i) {
        ++traffic.requests;
        const gcemu::JournalEntry& entry = entries[i];
        if (entry.method != "GET") continue;
        // The library follows an operation by reading it until it is done, and a Dataflow job by reading
        // it until it ends.
        const std::string polled = entry.host + entry.path;
        if (entry.path.find("/operations/") != std::string::npos)
            (entry.host.rfind("spanner.", 0) == 0 ? spanner : operations).insert(polled);
        else if (entry.host.rfind("dataflow.", 0) == 0 && entry.path.find("/jobs/") != std::string::npos)
            jobs.insert(polled);
    }
    traffic.operations = operations.size();
    traffic.spannerOperations = spanner.size();
    traffic.dataflowJobs = jobs.size();
    return traffic;
}

std::vector<HostTraffic> CountHostTraffic(const std::vector<gcemu::JournalEntry>& entries,
                                          const std::map<std::string, size_t>& connections) {
    std::map<std::string, HostTraffic> hosts;
    for (const gcemu::JournalEntry& entry : entries) ++hosts[entry.host].requests;
    for (const auto& [host, count] : connections) hosts[host].connections = count;
    std::vector<HostTraffic> traffic;
    for (auto& [host, counts] : hosts) {
        counts.host = host;
        traffic.push_back(counts);
    }
    return traffic;
}

namespace {

std::string Seconds(std::chrono::steady_clock::duration elapsed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(elapsed).count());
    return text;
}

std::string Plural(size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

StepRunner::StepRunner(std::ostream& out, bool json, const gcemu::Journal& journal,
                       const gcemu::ConnectionCounts* connections)
    : m_out(out),
      m_json(json),
      m_journal(journal),
      m_connections(connections),
      m_start(std::chrono::steady_clock::now()) {}

bool StepRunner::Run(const std::string& title, const std::function<bool(StepReport&)>& body) {
    const size_t number = ++m_number;
    json_spirit::mObject step{{"step", static_cast<int>(number)}, {"title", title}};
    const std::string lead = std::to_string(number) + ". " + title + ": ";
    if (m_failed > 0) {
        ++m_skipped;
        step["status"] = "skipped";
        m_steps.push_back(step);
        if (!m_json) m_out << lead << "skipped" << std::endl;
        return false;
    }

    const size_t before = m_journal.size();
    const auto started = std::chrono::steady_clock::now();
    StepReport report;
    bool succeeded = false;
    try {
        succeeded = body(report);
    } catch (const std::exception& error) {
        report.failure = error.what();
    }
    if (!succeeded && report.failure.empty()) report.failure = "failed, and no reason was given";
    const Traffic traffic = CountTraffic(m_journal.Snapshot(), before);

    step["status"] = succeeded ? "ok" : "failed";
    step["facts"] = report.facts;
    step["details"] = json_spirit::mArray(report.details.begin(), report.details.end());
    if (!succeeded) step["failure"] = report.failure;
    step["requests"] = static_cast<int>(traffic.requests);
    step["operations"] = static_cast<int>(traffic.operations);
    step["spannerOperations"] = static_cast<int>(traffic.spannerOperations);
    step["dataflowJobs"] = static_cast<int>(traffic.dataflowJobs);
    step["seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    m_steps.push_back(step);
    if (!succeeded) ++m_failed;

    if (!m_json) {
        if (succeeded)
            m_out << lead << TerminalSafe(report.facts) << " (" << Plural(traffic.requests, "request")
                  << ")\n";
        else
            m_out << lead << "FAILED: " << TerminalSafe(report.failure) << '\n';
        for (const std::string& line : report.details) m_out << "     " << TerminalSafe(line) << '\n';
        m_out.flush();
    }
    return succeeded;
}

void StepRunner::PrintSummary(const std::string& failureHint) {
    const std::vector<gcemu::JournalEntry> entries = m_journal.Snapshot();
    const Traffic traffic = CountTraffic(entries, 0);
    std::vector<HostTraffic> hosts;
    if (m_connections) hosts = CountHostTraffic(entries, m_connections->Snapshot());
    const auto elapsed = std::chrono::steady_clock::now() - m_start;
    const size_t ok = m_number - m_failed - m_skipped;
    if (m_json) {
        json_spirit::mObject summary{{"ok", Succeeded()},
                                     {"steps", m_steps},
                                     {"requests", static_cast<int>(traffic.requests)},
                                     {"operations", static_cast<int>(traffic.operations)},
                                     {"spannerOperations", static_cast<int>(traffic.spannerOperations)},
                                     {"dataflowJobs", static_cast<int>(traffic.dataflowJobs)},
                                     {"seconds", std::chrono::duration<double>(elapsed).count()}};
        if (m_connections) {
            json_spirit::mObject perHost;
            for (const HostTraffic& host : hosts)
                perHost[host.host] =
                    json_spirit::mObject{{"requests", static_cast<int>(host.requests)},
                                         {"connections", static_cast<int>(host.connections)}};
            summary["hosts"] = perHost;
        }
        m_out << ZkJson::Serialize(json_spirit::mValue(summary)) << std::endl;
        return;
    }
    for (const HostTraffic& host : hosts)
        m_out << "host " << TerminalSafe(host.host) << ": " << Plural(host.requests, "request") << " on "
              << Plural(host.connections, "connection") << '\n';
    m_out << "summary: " << ok << " of " << m_number << " steps succeeded; "
          << Plural(traffic.requests, "request") << " sent, " << Plural(traffic.operations, "operation")
          << " followed, ";
    if (traffic.spannerOperations > 0 || traffic.dataflowJobs > 0)
        m_out << Plural(traffic.spannerOperations, "Spanner operation") << " and "
              << Plural(traffic.dataflowJobs, "Dataflow job") << " followed, ";
    m_out << Seconds(elapsed) << '\n';
    if (!Succeeded() && !failureHint.empty()) m_out << failureHint << '\n';
    m_out.flush();
}

}  // namespace demo
}  // namespace gcsdk
