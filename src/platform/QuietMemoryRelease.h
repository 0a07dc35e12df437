#pragma once

#include "platform/Timers.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace vesk {

// Hands the memory the allocator keeps free back to the system once the application has been
// quiet for a moment. Start-up, a search over a large library and a new result list free hundreds
// of megabytes on many threads; the allocator keeps those pages for allocations that do not come,
// and the process looks as large as at its busiest. The release runs on a worker, never more than
// one at a time, and touches nothing but the allocator.
//
// A window kept busy without a pause (typing search after search) would otherwise never come to
// a quiet moment while what each step freed piles up: the allocator is also asked to hand back,
// at the latest, longestWaitMs after the first activity it has not yet answered. Such a release
// leaves the caches alone, as they are in use; the quiet moment that follows still releases them.
class QuietMemoryRelease : public QObject {
public:
    QuietMemoryRelease(std::shared_ptr<Timers> timers, int quietMs, int longestWaitMs, QObject* parent = nullptr);
    ~QuietMemoryRelease() override;

    // Something happened: the release comes quietMs after the last call, or longestWaitMs after
    // the first call since the last release, whichever is sooner.
    void noteActivity();

    // Also called at each quiet moment, on this object's thread and before the allocator's release:
    // for caches kept only to be quick, whose memory is worth more to the system while nothing
    // uses them.
    void alsoRelease(std::function<void()> release) { m_alsoRelease.push_back(std::move(release)); }

    // How many releases were started by this object, and how many of them came without a quiet
    // moment; for tests.
    int releasesStarted() const { return m_started; }
    int releasesWhileBusy() const { return m_startedWhileBusy; }

private:
    void cancelPending();

    std::shared_ptr<Timers> m_timers;
    int m_quietMs;
    int m_longestWaitMs;
    std::shared_ptr<PendingDelay> m_pending;
    std::shared_ptr<PendingDelay> m_deadline;
    int m_started = 0;
    int m_startedWhileBusy = 0;
    std::vector<std::function<void()>> m_alsoRelease;
};

} // namespace vesk
