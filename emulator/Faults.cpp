#include "emulator/Faults.h"

#include <strings.h>

#include <chrono>
#include <stdexcept>

#include "host/ZkJson.h"

namespace gcemu {
namespace {

constexpr FaultKind kKinds[] = {FaultKind::kStatus,   FaultKind::kReset,     FaultKind::kStall,
                                FaultKind::kTruncate, FaultKind::kMalformed, FaultKind::kEmpty};

}  // namespace

const char* FaultKindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::kStatus:
            return "status";
        case FaultKind::kReset:
            return "reset";
        case FaultKind::kStall:
            return "stall";
        case FaultKind::kTruncate:
            return "truncate";
        case FaultKind::kMalformed:
            return "malformed";
        case FaultKind::kEmpty:
            return "empty";
    }
    return "unknown";
}

void Faults::Add(FaultRule rule) {
    if (rule.count <= 0) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.push_back(std::move(rule));
}

void Faults::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.clear();
}

size_t Faults::Pending() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rules.size();
}

std::optional<FaultRule> Faults::Take(const std::string& method, const std::string& host,
                                      const std::string& path) {
    const std::string target = host + path;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto rule = m_rules.begin(); rule != m_rules.end(); ++rule) {
        if (!rule->method.empty() && strcasecmp(rule->method.c_str(), method.c_str()) != 0) continue;
        if (target.compare(0, rule->hostAndPathPrefix.size(), rule->hostAndPathPrefix) != 0) continue;
        FaultRule taken = *rule;
        if (--rule->count <= 0) m_rules.erase(rule);
        if (taken.kind == FaultKind::kStatus && taken.status == 0) taken.status = 503;
        return taken;
    }
    return std::nullopt;
}

bool Faults::Stall(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_interrupted; });
}

void Faults::Interrupt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interrupted = true;
    m_wake.notify_all();
}

void Faults::Resume() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interrupted = false;
}

FaultRule Faults::FromJson(const json_spirit::mObject& json) {
    FaultRule rule;
    try {
        for (const auto& [name, value] : json) {
            if (name == "method") {
                rule.method = value.get_str();
            } else if (name == "prefix") {
                rule.hostAndPathPrefix = value.get_str();
            } else if (name == "count") {
                rule.count = value.get_int();
            } else if (name == "kind") {
                const std::string& kind = value.get_str();
                bool known = false;
                for (FaultKind candidate : kKinds) {
                    if (kind != FaultKindName(candidate)) continue;
                    rule.kind = candidate;
                    known = true;
                }
                if (!known) throw std::invalid_argument("unknown fault kind '" + kind + "'");
            } else if (name == "status") {
                rule.status = value.get_int();
            } else if (name == "body") {
                rule.body =
                    value.type() == json_spirit::str_type ? value.get_str() : ZkJson::Serialize(value);
            } else if (name == "stallMs") {
                rule.stallMs = value.get_int();
            } else if (name == "retryAfter") {
                rule.retryAfter = value.type() == json_spirit::int_type ? std::to_string(value.get_int64())
                                                                        : value.get_str();
            } else {
                throw std::invalid_argument("unknown fault member '" + name + "'");
            }
        }
    } catch (const std::runtime_error& error) {  // a member of the wrong type
        throw std::invalid_argument(std::string("bad fault: ") + error.what());
    }
    if (rule.count <= 0) throw std::invalid_argument("a fault needs a count of at least 1");
    if (rule.status != 0 && (rule.status < 100 || rule.status > 599))
        throw std::invalid_argument("a fault status must be an HTTP status");
    if (rule.stallMs < 0) throw std::invalid_argument("stallMs cannot be negative");
    if (rule.kind == FaultKind::kEmpty && rule.status != 0 && (rule.status < 200 || rule.status > 299))
        throw std::invalid_argument("an empty answer is a 2xx");
    if (rule.kind == FaultKind::kEmpty && !rule.body.empty())
        throw std::invalid_argument("an empty answer has no body");
    // A header value ends at a line break: anything after it would be a header of its own.
    if (rule.retryAfter.find_first_of("\r\n") != std::string::npos)
        throw std::invalid_argument("retryAfter cannot hold a line break");
    return rule;
}

}  // namespace gcemu
