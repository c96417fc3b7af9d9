#include "emulator/ConnectionCounts.h"

namespace gcemu {

void ConnectionCounts::Add(const std::string& host) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_counts[host];
}

size_t ConnectionCounts::Count(const std::string& host) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_counts.find(host);
    return found == m_counts.end() ? 0 : found->second;
}

size_t ConnectionCounts::Total() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t total = 0;
    for (const auto& entry : m_counts) total += entry.second;
    return total;
}

std::map<std::string, size_t> ConnectionCounts::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

void ConnectionCounts::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_counts.clear();
}

json_spirit::mObject ConnectionCounts::ToJson() const {
    json_spirit::mObject counts;
    for (const auto& [host, count] : Snapshot()) counts[host] = static_cast<int64_t>(count);
    return counts;
}

}  // namespace gcemu
