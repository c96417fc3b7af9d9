#include "tests/support/LogCapture.h"

namespace testsupport {

class LogCapture::Sink : public host::ILogSink {
public:
    void Write(const host::LogLine& line) override {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    }
    mutable std::mutex mutex;
    std::vector<host::LogLine> lines;
};

LogCapture::LogCapture() : m_sink(std::make_shared<Sink>()) {
    host::AddLogSink(m_sink);
}

LogCapture::~LogCapture() {
    host::RemoveLogSink(m_sink);
}

std::vector<host::LogLine> LogCapture::Lines() const {
    std::lock_guard<std::mutex> lock(m_sink->mutex);
    return m_sink->lines;
}

bool LogCapture::Has(int level, const std::string& message) const {
    for (const auto& line : Lines())
        if (line.level == level && line.message == message) return true;
    return false;
}

size_t LogCapture::Count(const std::string& message) const {
    size_t count = 0;
    for (const auto& line : Lines())
        if (line.message == message) ++count;
    return count;
}

std::string LogCapture::TagOf(const std::string& message) const {
    for (const auto& line : Lines())
        if (line.message == message) return line.tag;
    return "";
}

bool LogCapture::Mentions(const std::string& text) const {
    for (const auto& line : Lines())
        if (line.message.find(text) != std::string::npos || line.tag.find(text) != std::string::npos)
            return true;
    return false;
}

std::string LogCapture::Dump() const {
    std::string text;
    for (const auto& line : Lines()) text += "[" + std::to_string(line.level) + "] " + line.message + "\n";
    return text;
}

void LogCapture::Clear() {
    std::lock_guard<std::mutex> lock(m_sink->mutex);
    m_sink->lines.clear();
}

}  // namespace testsupport
