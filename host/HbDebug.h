// Logging for the library and its host: HbDebug (per-component logger), HbEvent, log sinks.
//
// Every line carries a tag (the calling function's full signature), a level and a printf-formatted
// message. Levels: -1 error, 0 always shown, 1 debug, 2 debug level 2, 3 and above for the agent's
// own writer. The process log goes to stderr or to the file named in the settings (GoogleCloud /
// sLogFile, created readable by its owner only; an existing one is appended to as it is) and shows
// lines up to the configured level (GoogleCloud / nLogLevel). Sinks receive every line whatever the
// level: tests assert exact messages through them and the command-line tool shows progress through one.
#pragma once

#include <cstdarg>
#include <memory>
#include <string>

#include "HostApi.h"

namespace host {

constexpr int kLogError = -1;
constexpr int kLogLevel0 = 0;
constexpr int kLogDebug = 1;
constexpr int kLogDebug2 = 2;

struct LogLine {
    int level = kLogLevel0;
    std::string tag;
    std::string message;
};

class HOST_API ILogSink {
public:
    virtual ~ILogSink();
    virtual void Write(const LogLine& line) = 0;
};

// Sinks are called under the log lock, in the order they were added; a sink must not log itself.
HOST_API void AddLogSink(std::shared_ptr<ILogSink> sink);
HOST_API void RemoveLogSink(const std::shared_ptr<ILogSink>& sink);

// Re-reads sLogFile and nLogLevel from the settings (they are otherwise read at the first line).
HOST_API void ReloadLogSettings();
HOST_API int ConfiguredLogLevel();

// Whether the process log may write to stderr when no log file is named (it may unless told otherwise).
// A tool that shows the library's lines its own way keeps them off its stderr; sinks and a named log
// file still get every line, and a log file that cannot be opened still falls back to stderr.
HOST_API void SetProcessLogOnStderr(bool allowed);
// Whether the process log writes its lines to stderr now.
HOST_API bool ProcessLogOnStderr();

// True when a line of this level goes anywhere; lets callers skip costly formatting.
HOST_API bool LogWanted(int level);
HOST_API void LogFormatted(int level, const char* tag, const char* format, va_list args);
HOST_API void LogText(int level, const char* tag, const std::string& message);

}  // namespace host

// A log file of its own for one logger; null everywhere in the library, which means the process log.
class HOST_API HbLogFile {
public:
    explicit HbLogFile(const std::string& path);
    ~HbLogFile();
    HbLogFile(const HbLogFile&) = delete;
    HbLogFile& operator=(const HbLogFile&) = delete;
    bool IsOpen() const;
    void WriteLine(int level, const char* tag, const std::string& message);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

class HOST_API HbDebug {
public:
    explicit HbDebug(HbLogFile* logFile = nullptr);

    void Debug(const char* tag, const char* format, ...) const HOST_PRINTF(3, 4);
    void Error(const char* tag, const char* format, ...) const HOST_PRINTF(3, 4);
    void DebugLvl(const char* tag, int level, const char* format, ...) const HOST_PRINTF(4, 5);

private:
    void Write(int level, const char* tag, const char* format, va_list args) const;
    HbLogFile* m_logFile;
};

// The parser's logger: the same operations as HbDebug.
class HOST_API HbEvent : public HbDebug {
public:
    HbEvent() : HbDebug(nullptr) {}
};
