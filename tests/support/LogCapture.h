// Captures every log line while alive, so tests can assert exact messages, levels and tags.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/HbDebug.h"

namespace testsupport {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<host::LogLine> Lines() const;
    // A line with exactly this level and message.
    bool Has(int level, const std::string& message) const;
    // Number of lines with exactly this message, at any level.
    size_t Count(const std::string& message) const;
    // The tag of the first line with exactly this message; empty when there is none.
    std::string TagOf(const std::string& message) const;
    // A line whose message contains the text, at any level.
    bool Mentions(const std::string& text) const;
    // Everything captured, one line each, for failure messages.
    std::string Dump() const;
    void Clear();

private:
    class Sink;
    std::shared_ptr<Sink> m_sink;
};

}  // namespace testsupport
