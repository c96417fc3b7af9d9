// TLS connections the server accepted, by the API host each was opened for (its SNI name, else the Host
// of its first request): how a benchmark or a test sees whether a client keeps its connections.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

#include "host/json/JsonValue.h"

namespace gcemu {

class ConnectionCounts {
public:
    void Add(const std::string& host);
    size_t Count(const std::string& host) const;
    size_t Total() const;
    std::map<std::string, size_t> Snapshot() const;
    void Clear();
    // {"compute.googleapis.com": 1, ...}
    json_spirit::mObject ToJson() const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, size_t> m_counts;
};

}  // namespace gcemu
