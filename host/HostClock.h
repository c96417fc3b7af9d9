// Wall-clock seconds, behind a seam that tests can replace.
#pragma once

#include <cstdint>

#include "HostApi.h"

namespace host {

class HOST_API IClock {
public:
    virtual ~IClock();
    virtual int64_t Now() const = 0;  // seconds since the epoch
};

// The current time through the installed clock (the system clock unless a test replaced it).
HOST_API int64_t Now();

// Installs a clock for the lifetime of the object; the previous one comes back at destruction.
class HOST_API ScopedClock {
public:
    explicit ScopedClock(const IClock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    const IClock* m_previous;
};

}  // namespace host
