#include "XwSleep.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace host {
namespace {

class ThreadSleeper : public ISleeper {
public:
    void Sleep(unsigned int milliseconds, const char*, int) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

ThreadSleeper g_threadSleeper;
std::atomic<ISleeper*> g_sleeper{&g_threadSleeper};

}  // namespace

ISleeper::~ISleeper() = default;

ScopedSleeper::ScopedSleeper(ISleeper& sleeper) : m_previous(g_sleeper.exchange(&sleeper)) {}

ScopedSleeper::~ScopedSleeper() {
    g_sleeper.store(m_previous);
}

}  // namespace host

void XWSLEEP_InTeRnAl(unsigned int milliseconds, const char* sourceFile, int line) {
    host::g_sleeper.load()->Sleep(milliseconds, sourceFile, line);
}
