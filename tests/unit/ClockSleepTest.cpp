// The clock and sleep seams: tests replace them, the previous ones come back.
#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "host/HostClock.h"
#include "host/XwSleep.h"

namespace {

class FixedClock : public host::IClock {
public:
    int64_t Now() const override { return 1234; }
};

class RecordingSleeper : public host::ISleeper {
public:
    void Sleep(unsigned int milliseconds, const char*, int) override { slept.push_back(milliseconds); }
    std::vector<unsigned int> slept;
};

TEST(Seams, ClockAndSleepCanBeReplacedAndComeBack) {
    int64_t before = host::Now();
    EXPECT_LE(std::abs(before - static_cast<int64_t>(std::time(nullptr))), 1);
    {
        FixedClock clock;
        host::ScopedClock scoped(clock);
        EXPECT_EQ(host::Now(), 1234);
        RecordingSleeper sleeper;
        host::ScopedSleeper scopedSleep(sleeper);
        XWSLEEP_InTeRnAl(60000, __FILE__, __LINE__);
        XWSLEEP_InTeRnAl(0, __FILE__, __LINE__);
        EXPECT_EQ(sleeper.slept, (std::vector<unsigned int>{60000, 0}));
    }
    EXPECT_NE(host::Now(), 1234);
}

}  // namespace
