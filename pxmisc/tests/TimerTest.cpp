#include "pxmisc/CTimer.h"
#include "pxmisc/ITimerPX.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

class Callback : public ITimerPX {
public:
    void OnTimer(int timerId) override {
        fired.push_back(timerId);
        if (onTimer) {
            onTimer(timerId);
        }
    }
    std::vector<int> fired;
    std::function<void(int)> onTimer;
};

// Runs the event loop until `done` or a generous limit.
void PumpUntil(const std::function<bool()>& done, int limitMs = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

TEST(TimerTest, KillTimerOfAnUnknownIdGivesMinusOne) {
    QObject window;
    EXPECT_EQ(CTimer::KillTimer(&window, 4711), -1);
    Callback callback;
    EXPECT_EQ(CTimer::SetTimer(&window, 4711, 1000, &callback), 4711);
    EXPECT_EQ(CTimer::KillTimer(&window, 4711), 0);
    EXPECT_EQ(CTimer::KillTimer(&window, 4711), -1);
}

TEST(TimerTest, FiresRepeatedlyWithItsIdUntilKilled) {
    QObject window;
    Callback callback;
    CTimer::SetTimer(&window, 11, 5, &callback);
    PumpUntil([&] { return callback.fired.size() >= 3; });
    ASSERT_GE(callback.fired.size(), 3u);
    EXPECT_EQ(callback.fired[0], 11);
    EXPECT_EQ(CTimer::KillTimer(&window, 11), 0);
    const std::size_t afterKill = callback.fired.size();
    PumpFor(50);
    EXPECT_EQ(callback.fired.size(), afterKill);
}

TEST(TimerTest, ARepointedIdCallsOnlyTheSecondCallback) {
    QObject window;
    Callback first;
    Callback second;
    CTimer::SetTimer(&window, 21, 5, &first);
    CTimer::SetTimer(&window, 21, 5, &second);
    PumpUntil([&] { return second.fired.size() >= 2; });
    EXPECT_TRUE(first.fired.empty());
    EXPECT_GE(second.fired.size(), 2u);
    CTimer::KillTimer(&window, 21);
}

TEST(TimerTest, PeriodZeroFiresOnceWhenItsHandlerKillsIt) {
    QObject window;
    Callback oneShot;
    oneShot.onTimer = [&window](int id) { CTimer::KillTimer(&window, id); };
    CTimer::SetTimer(&window, 31, 0, &oneShot);
    PumpFor(50);
    EXPECT_EQ(oneShot.fired, std::vector<int>{31});
}

TEST(TimerTest, TheIdAloneKeysTheTable) {
    QObject windowA;
    QObject windowB;
    Callback a;
    Callback b;
    CTimer::SetTimer(&windowA, 41, 5, &a);
    CTimer::SetTimer(&windowB, 41, 5, &b); // re-points id 41 for both windows' timers
    PumpUntil([&] { return b.fired.size() >= 4; });
    EXPECT_TRUE(a.fired.empty());
    EXPECT_EQ(CTimer::KillTimer(&windowB, 41), 0);
    // windowA's platform timer still runs, but the id now leads nowhere.
    const std::size_t before = b.fired.size();
    PumpFor(40);
    EXPECT_EQ(b.fired.size(), before);
    EXPECT_TRUE(a.fired.empty());
}

TEST(TimerTest, ATimerDiesWithItsWindow) {
    Callback callback;
    {
        QObject window;
        CTimer::SetTimer(&window, 51, 5, &callback);
    }
    PumpFor(40);
    EXPECT_TRUE(callback.fired.empty());
    EXPECT_EQ(CTimer::KillTimer(nullptr, 51), 0) << "the table entry outlives the timer";
}

} // namespace
