#include "cli/LogSink.h"

#include <ostream>

#include "cli/Table.h"

namespace gcsdk {

std::string ShortTag(const std::string& tag) {
    std::string name = tag.substr(0, tag.find('('));
    // The return type ends at the last space outside template brackets; names have no spaces.
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '<') ++depth;
        if (name[i] == '>') --depth;
        if (name[i] == ' ' && depth == 0) start = i + 1;
    }
    name = name.substr(start);
    // Class and function: the last two parts of the qualified name.
    size_t last = name.rfind("::");
    if (last != std::string::npos && last > 0) {
        size_t previous = name.rfind("::", last - 1);
        if (previous != std::string::npos) name = name.substr(previous + 2);
    }
    return name.empty() ? tag : name;
}

class ScopedLogSink::Sink : public host::ILogSink {
public:
    Sink(Filter filter, Handler handler) : m_filter(std::move(filter)), m_handler(std::move(handler)) {}
    void Write(const host::LogLine& line) override {
        if (!m_filter || m_filter(line)) m_handler(line);
    }

private:
    Filter m_filter;
    Handler m_handler;
};

ScopedLogSink::ScopedLogSink(Filter filter, Handler handler)
    : m_sink(std::make_shared<Sink>(std::move(filter), std::move(handler))) {
    host::AddLogSink(m_sink);
}

ScopedLogSink::~ScopedLogSink() {
    host::RemoveLogSink(m_sink);
}

namespace {

const char* LevelWord(int level) {
    switch (level) {
        case host::kLogError:
            return "error";
        case host::kLogLevel0:
            return "info";
        case host::kLogDebug:
            return "debug";
        default:
            return "debug2";
    }
}

// Later lines of a message (a logged response body) indented under the first.
std::string Indented(const std::string& message) {
    std::string text;
    size_t start = 0;
    for (;;) {
        const size_t end = message.find('\n', start);
        text +=
            TerminalSafe(message.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos || end + 1 == message.size()) break;
        text += "\n    ";
        start = end + 1;
    }
    return text;
}

}  // namespace

std::unique_ptr<ScopedLogSink> VerboseLog(std::ostream& out) {
    const bool processLogOnStderr = host::ProcessLogOnStderr();
    const int processLevel = host::ConfiguredLogLevel();
    auto filter = [processLogOnStderr, processLevel](const host::LogLine& line) {
        if (line.level > host::kLogDebug2) return false;
        return !(processLogOnStderr && line.level <= processLevel);
    };
    auto handler = [&out](const host::LogLine& line) {
        out << "gcsdk: " << LevelWord(line.level) << ' ' << TerminalSafe(ShortTag(line.tag)) << ": "
            << Indented(line.message) << std::endl;
    };
    return std::make_unique<ScopedLogSink>(filter, handler);
}

}  // namespace gcsdk
