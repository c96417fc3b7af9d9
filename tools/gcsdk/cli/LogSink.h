// Log lines of the library, picked by a filter and handed to a function while a ScopedLogSink lives:
// --verbose prints them; long operations will read their progress from them.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "host/HbDebug.h"

namespace gcsdk {

// "CGoogleCloudConnection::Connect" out of a full signature such as
// "bool GoogleCloudSDKWrapper::CGoogleCloudConnection::Connect(const string&, ...)".
std::string ShortTag(const std::string& tag);

class ScopedLogSink {
public:
    using Filter = std::function<bool(const host::LogLine&)>;
    using Handler = std::function<void(const host::LogLine&)>;

    // The handler runs under the log lock: it must not log.
    ScopedLogSink(Filter filter, Handler handler);
    ~ScopedLogSink();
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    class Sink;
    std::shared_ptr<Sink> m_sink;
};

// Lines up to debug level 2, as "gcsdk: debug Class::Method: message", to out. Lines the process log
// already writes to stderr (when gcsdk has not kept it off stderr) are left to it, so that none shows
// twice.
std::unique_ptr<ScopedLogSink> VerboseLog(std::ostream& out);

}  // namespace gcsdk
