#include "platform/QuietMemoryRelease.h"

#include "common/Fakes.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

// The release waits for a quiet moment: activity keeps putting it off, and a burst of activity
// gives one release, not one per event. Caches asked to go along go at each release.
TEST(QuietMemoryRelease, ComesOnceAfterTheLastActivity)
{
    struct Case {
        std::vector<int> activityAtMs;
        int checkAtMs;
        int expectedReleases;
    };
    const Case cases[] = {
        {{}, 5000, 0},
        {{0}, 1999, 0},
        {{0}, 2000, 1},
        {{0, 1500, 3000}, 4999, 0},
        {{0, 1500, 3000}, 5000, 1},
        {{0, 2500}, 4499, 1},
        {{0, 2500}, 4500, 2},
    };
    for (const Case& c : cases) {
        auto timers = std::make_shared<test::FakeTimers>();
        QuietMemoryRelease release(timers, 2000, 60'000);
        int cachesReleased = 0;
        release.alsoRelease([&] { ++cachesReleased; });
        int now = 0;
        for (const int at : c.activityAtMs) {
            timers->advance(at - now);
            now = at;
            release.noteActivity();
        }
        timers->advance(c.checkAtMs - now);
        EXPECT_EQ(release.releasesStarted(), c.expectedReleases) << c.checkAtMs;
        EXPECT_EQ(cachesReleased, c.expectedReleases) << c.checkAtMs;
    }
}

// Activity that never pauses for the quiet time still gets a release of the allocator at the
// latest the longest wait after its first event, and the count starts again from there; the
// caches, in use meanwhile, stay until the quiet moment after the last event, which a release at
// the longest wait does not put off.
TEST(QuietMemoryRelease, ABusyWindowIsReleasedAtTheLongestWait)
{
    struct Case {
        int activityEveryMs;
        int activityUntilMs;
        int checkAtMs;
        int expectedWhileBusy;
        int expectedQuiet;
    };
    const Case cases[] = {
        {1000, 5999, 5999, 0, 0},
        {1000, 6000, 6000, 1, 0},
        {1000, 11999, 11999, 1, 0},
        {1000, 12000, 12000, 2, 0},
        {1000, 7000, 9000, 1, 1},
        {1000, 6000, 8000, 1, 1},
        {3000, 3000, 4999, 0, 1},
        {1000, 5000, 6999, 1, 0},
        {1000, 5000, 7000, 1, 1},
    };
    for (const Case& c : cases) {
        auto timers = std::make_shared<test::FakeTimers>();
        QuietMemoryRelease release(timers, 2000, 6000);
        int cachesReleased = 0;
        release.alsoRelease([&] { ++cachesReleased; });
        int now = 0;
        for (int at = 0; at <= c.activityUntilMs; at += c.activityEveryMs) {
            timers->advance(at - now);
            now = at;
            release.noteActivity();
        }
        timers->advance(c.checkAtMs - now);
        const std::string label = std::to_string(c.activityEveryMs) + "/" + std::to_string(c.checkAtMs);
        EXPECT_EQ(release.releasesWhileBusy(), c.expectedWhileBusy) << label;
        EXPECT_EQ(release.releasesStarted(), c.expectedWhileBusy + c.expectedQuiet) << label;
        EXPECT_EQ(cachesReleased, c.expectedQuiet) << label;
    }
}

} // namespace
} // namespace vesk
