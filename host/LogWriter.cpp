#include "LogWriter.h"

#include <cstdarg>

#include "HbDebug.h"

std::shared_ptr<CLogWriter> g_ptrLogWriter = std::make_shared<CLogWriter>();

int CLogWriter::GetLogLevel() const {
    return host::ConfiguredLogLevel();
}

void CLogWriter::WriteLog(int level, const char* tag, int /*line*/, int /*reserved1*/, int /*reserved2*/,
                          const char* format, ...) {
    va_list args;
    va_start(args, format);
    host::LogFormatted(level < 0 ? host::kLogError : level, tag, format, args);
    va_end(args);
}
