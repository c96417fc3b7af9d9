#include "HostClock.h"

#include <atomic>
#include <ctime>

namespace host {
namespace {

class SystemClock : public IClock {
public:
    int64_t Now() const override { return static_cast<int64_t>(std::time(nullptr)); }
};

const SystemClock g_systemClock;
std::atomic<const IClock*> g_clock{&g_systemClock};

}  // namespace

IClock::~IClock() = default;

int64_t Now() {
    return g_clock.load()->Now();
}

ScopedClock::ScopedClock(const IClock& clock) : m_previous(g_clock.exchange(&clock)) {}

ScopedClock::~ScopedClock() {
    g_clock.store(m_previous);
}

}  // namespace host
