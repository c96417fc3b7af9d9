// The agent's global log writer. The library asks it for the current level and writes single lines
// through it with an explicit level (-1 for a failure line) and the caller's line number.
#pragma once

#include <memory>

#include "HostApi.h"

class HOST_API CLogWriter {
public:
    // The configured verbosity of the process log (GoogleCloud / nLogLevel).
    int GetLogLevel() const;
    // level: -1 error, 0..N verbosity; tag: caller's signature; line: caller's source line. The two
    // reserved numbers are kept for the agent's writer (thread and component ids) and unused here.
    void WriteLog(int level, const char* tag, int line, int reserved1, int reserved2, const char* format, ...)
        HOST_PRINTF(7, 8);
};

HOST_API extern std::shared_ptr<CLogWriter> g_ptrLogWriter;
