#include "HbDebug.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include "Settings.h"

namespace host {
namespace {

// Process-wide log state. Never destroyed, so that lines logged from static destructors still work.
struct LogState {
    std::mutex mutex;
    std::vector<std::shared_ptr<ILogSink>> sinks;
    std::atomic<bool> hasSinks{false};
    std::atomic<bool> configured{false};
    std::atomic<int> level{0};
    std::string filePath;
    FILE* file = nullptr;  // null: stderr, when allowed or when the named file cannot be opened
    std::atomic<bool> stderrAllowed{true};
    bool fileFailed = false;
};

LogState& State() {
    static LogState* state = new LogState;
    return *state;
}

// Reading the settings may itself log (a malformed settings file); those lines go out with the
// defaults instead of recursing into the configuration.
thread_local bool t_configuring = false;

const char* LevelName(int level) {
    switch (level) {
        case kLogError:
            return "ERROR";
        case kLogLevel0:
            return "INFO";
        case kLogDebug:
            return "DEBUG";
        case kLogDebug2:
            return "DEBUG2";
        default:
            return "DEBUG3";
    }
}

// A log may hold what a backup touched: a new file is for its owner only. An existing one (which the
// agent may share) keeps the mode it has.
FILE* OpenLogFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "a");
    if (!file) close(fd);
    return file;
}

std::string FormatLine(int level, const char* tag, const std::string& message) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    long millis = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%s.%03ldZ [%d:%ld] %s ", stamp, millis, static_cast<int>(getpid()),
                  static_cast<long>(syscall(SYS_gettid)), LevelName(level));
    std::string line = prefix;
    line += tag ? tag : "";
    line += ": ";
    line += message;
    line += '\n';
    return line;
}

void Configure(LogState& state) {
    int level = 0;
    std::string path;
    t_configuring = true;
    level = static_cast<int>(settings::Read(settings::kLogLevel));
    path = settings::Read(settings::kLogFile);
    t_configuring = false;

    std::string openError;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.file && path != state.filePath) {
            std::fclose(state.file);
            state.file = nullptr;
        }
        if (!path.empty() && !state.file) {
            state.file = OpenLogFile(path);
            if (!state.file) openError = path;
        }
        state.filePath = state.file ? path : std::string();
        state.fileFailed = !openError.empty();
        state.level = level;
        state.configured = true;
    }
    if (!openError.empty())
        LogText(kLogError, __PRETTY_FUNCTION__,
                "Cannot open log file [" + openError + "]; logging to stderr.");
}

void EnsureConfigured(LogState& state) {
    if (state.configured || t_configuring) return;
    Configure(state);
}

// Sinks always; the process log unless the line goes to a logger's own file instead.
void Emit(int level, const char* tag, const std::string& message, bool toProcessLog = true) {
    LogState& state = State();
    LogLine line{level, tag ? tag : "", message};
    std::lock_guard<std::mutex> lock(state.mutex);
    for (const auto& sink : state.sinks) sink->Write(line);
    FILE* out = state.file ? state.file : (state.stderrAllowed || state.fileFailed ? stderr : nullptr);
    if (out && toProcessLog && (level <= state.level || t_configuring)) {
        std::string text = FormatLine(level, tag, message);
        std::fwrite(text.data(), 1, text.size(), out);
        std::fflush(out);
    }
}

std::string FormatMessage(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return std::string("(unformattable log line: ") + format + ")";
    if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

}  // namespace

ILogSink::~ILogSink() = default;

void AddLogSink(std::shared_ptr<ILogSink> sink) {
    if (!sink) return;
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.sinks.push_back(std::move(sink));
    state.hasSinks = true;
}

void RemoveLogSink(const std::shared_ptr<ILogSink>& sink) {
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.sinks.erase(std::remove(state.sinks.begin(), state.sinks.end(), sink), state.sinks.end());
    state.hasSinks = !state.sinks.empty();
}

void ReloadLogSettings() {
    Configure(State());
}

void SetProcessLogOnStderr(bool allowed) {
    State().stderrAllowed = allowed;
}

bool ProcessLogOnStderr() {
    LogState& state = State();
    EnsureConfigured(state);
    std::lock_guard<std::mutex> lock(state.mutex);
    return !state.file && (state.stderrAllowed || state.fileFailed);
}

int ConfiguredLogLevel() {
    LogState& state = State();
    EnsureConfigured(state);
    return state.level;
}

bool LogWanted(int level) {
    LogState& state = State();
    EnsureConfigured(state);
    return state.hasSinks || level <= state.level || t_configuring;
}

void LogFormatted(int level, const char* tag, const char* format, va_list args) {
    if (!format || !LogWanted(level)) return;
    Emit(level, tag, FormatMessage(format, args));
}

void LogText(int level, const char* tag, const std::string& message) {
    if (!LogWanted(level)) return;
    Emit(level, tag, message);
}

}  // namespace host

struct HbLogFile::Impl {
    std::mutex mutex;
    FILE* file = nullptr;
};

HbLogFile::HbLogFile(const std::string& path) : m_impl(new Impl) {
    m_impl->file = host::OpenLogFile(path);
}

HbLogFile::~HbLogFile() {
    if (m_impl->file) std::fclose(m_impl->file);
}

bool HbLogFile::IsOpen() const {
    return m_impl->file != nullptr;
}

void HbLogFile::WriteLine(int level, const char* tag, const std::string& message) {
    if (!m_impl->file || level > host::ConfiguredLogLevel()) return;
    std::string text = host::FormatLine(level, tag, message);
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    std::fwrite(text.data(), 1, text.size(), m_impl->file);
    std::fflush(m_impl->file);
}

HbDebug::HbDebug(HbLogFile* logFile) : m_logFile(logFile) {}

void HbDebug::Write(int level, const char* tag, const char* format, va_list args) const {
    if (!m_logFile) {
        host::LogFormatted(level, tag, format, args);
        return;
    }
    if (!host::LogWanted(level)) return;
    std::string message = host::FormatMessage(format, args);
    host::Emit(level, tag, message, false);
    m_logFile->WriteLine(level, tag, message);
}

void HbDebug::Debug(const char* tag, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Write(host::kLogDebug, tag, format, args);
    va_end(args);
}

void HbDebug::Error(const char* tag, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Write(host::kLogError, tag, format, args);
    va_end(args);
}

void HbDebug::DebugLvl(const char* tag, int level, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Write(level, tag, format, args);
    va_end(args);
}
