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
        QuietMemoryRelease release(timers, 2000);
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

} // namespace
} // namespace vesk
