// The host sleep, behind a seam that tests can replace (so no test sleeps for real).
#pragma once

#include "HostApi.h"

// Blocks the calling thread for the given milliseconds; file and line name the caller for diagnostics.
HOST_API void XWSLEEP_InTeRnAl(unsigned int milliseconds, const char* sourceFile, int line);

namespace host {

class HOST_API ISleeper {
public:
    virtual ~ISleeper();
    virtual void Sleep(unsigned int milliseconds, const char* sourceFile, int line) = 0;
};

// Installs a sleeper for the lifetime of the object; the previous one comes back at destruction.
class HOST_API ScopedSleeper {
public:
    explicit ScopedSleeper(ISleeper& sleeper);
    ~ScopedSleeper();
    ScopedSleeper(const ScopedSleeper&) = delete;
    ScopedSleeper& operator=(const ScopedSleeper&) = delete;

private:
    ISleeper* m_previous;
};

}  // namespace host
