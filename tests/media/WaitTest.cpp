// WaitSeconds against a scripted clock (seconds since midnight) and a pump that counts its
// calls; PumpEvents with a real event loop.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <cmath>

#include "media/General.h"

namespace {

// A clock that stands still between pumps; every pump moves it on by one step, wrapping at
// midnight. Times are computed from the count, so no rounding error adds up.
struct ScriptedClock {
    ScriptedClock(double startAt, double stepBy) : start(startAt), step(stepBy) {}
    double start;
    double step;
    int pumps = 0;
    std::vector<double> checks;  // every reading, in order

    double now() const { return std::fmod(start + pumps * step, 86400.0); }
    void wait(float seconds) {
        General::WaitSeconds(
            seconds,
            [this] {
                checks.push_back(now());
                return now();
            },
            [this] { ++pumps; });
    }
};

TEST(WaitSeconds, ReturnsAtTheFirstCheckPastTheWholeSecondStart) {
    // Start instant 3600: half a second is over at the first check after 3600.5.
    ScriptedClock c(3600.2, 0.1);
    c.wait(0.5f);
    EXPECT_EQ(c.pumps, 4);
    EXPECT_NEAR(c.now(), 3600.6, 1e-9);
    EXPECT_NEAR(c.checks.back(), 3600.6, 1e-9);
}

TEST(WaitSeconds, StartRoundedAheadOfTheClockEndsAfterOnePump) {
    // 3600.7 rounds to 3601: elapsed is negative, one pump, then the clock is behind the start.
    ScriptedClock c(3600.7, 0.1);
    c.wait(0.5f);
    EXPECT_EQ(c.pumps, 1);
}

TEST(WaitSeconds, PassingMidnightEndsTheWait) {
    ScriptedClock c(86400 - 0.7, 0.1);
    c.wait(2.0f);
    // 86399.3 ... 86399.9, then 0.0: seven pumps, and the clock has passed midnight.
    EXPECT_EQ(c.pumps, 7);
    EXPECT_LT(c.now(), 1.0);
}

TEST(WaitSeconds, ZeroSecondsNeverPumps) {
    ScriptedClock c(3600.2, 0.1);
    c.wait(0.0f);
    EXPECT_EQ(c.pumps, 0);
    EXPECT_EQ(c.checks.size(), 2u);  // the start reading and the first check
}

TEST(WaitSeconds, HalvesRoundToEven) {
    // 3600.5 rounds down to 3600 (even): 0.7 s are over after 3600.7.
    ScriptedClock even(3600.5, 0.1);
    even.wait(0.7f);
    EXPECT_EQ(even.pumps, 3);
    // 3601.5 rounds up to 3602 (even): the start is ahead of the clock.
    ScriptedClock odd(3601.5, 0.1);
    odd.wait(0.7f);
    EXPECT_EQ(odd.pumps, 1);
}

TEST(PumpEvents, RunsPendingEventsOfTheApplication) {
    int argc = 1;
    char name[] = "media_wait";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    int ran = 0;
    QTimer::singleShot(0, &app, [&ran] { ++ran; });
    QMetaObject::invokeMethod(
        &app, [&ran] { ++ran; }, Qt::QueuedConnection);
    General::PumpEvents();
    EXPECT_EQ(ran, 2);
    // With the application quitting, a pump still returns.
    QCoreApplication::exit(0);
    General::PumpEvents();
}

}  // namespace
