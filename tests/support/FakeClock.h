// A clock that tests move by hand; safe to read from server threads.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/HostClock.h"

namespace testsupport {

class FakeClock : public host::IClock {
public:
    explicit FakeClock(int64_t now = 1760000000) : m_now(now) {}
    int64_t Now() const override { return m_now.load(); }
    void Set(int64_t now) { m_now = now; }
    void Advance(int64_t seconds) { m_now += seconds; }

private:
    std::atomic<int64_t> m_now;
};

// Installs a fake clock for the scope.
class ScopedFakeClock {
public:
    explicit ScopedFakeClock(int64_t now = 1760000000) : clock(now), m_scoped(clock) {}
    FakeClock clock;

private:
    host::ScopedClock m_scoped;
};

}  // namespace testsupport
