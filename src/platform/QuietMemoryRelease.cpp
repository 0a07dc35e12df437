#include "platform/QuietMemoryRelease.h"

#include "platform/SystemMemory.h"
#include "platform/WorkPools.h"

#include <QThreadPool>

#include <atomic>

namespace vesk {

namespace {

// One pass at a time for the whole process: a second would only wait on the first's locks.
std::atomic<bool> g_releasing{false};

void releaseOnWorker()
{
    if (g_releasing.exchange(true))
        return;
    WorkPools::shared().files()->start([] {
        releaseFreeMemory();
        g_releasing = false;
    });
}

} // namespace

QuietMemoryRelease::QuietMemoryRelease(std::shared_ptr<Timers> timers, int quietMs, int longestWaitMs, QObject* parent)
    : QObject(parent), m_timers(std::move(timers)), m_quietMs(quietMs), m_longestWaitMs(longestWaitMs)
{
}

QuietMemoryRelease::~QuietMemoryRelease()
{
    cancelPending();
}

void QuietMemoryRelease::cancelPending()
{
    for (std::shared_ptr<PendingDelay>* delay : {&m_pending, &m_deadline}) {
        if (*delay)
            (*delay)->cancel();
        delay->reset();
    }
}

void QuietMemoryRelease::noteActivity()
{
    if (m_pending)
        m_pending->cancel();
    m_pending = m_timers->after(m_quietMs, this, [this] {
        cancelPending();
        ++m_started;
        for (const auto& release : m_alsoRelease)
            release();
        releaseOnWorker();
    });
    if (m_deadline)
        return;
    m_deadline = m_timers->after(m_longestWaitMs, this, [this] {
        // The quiet moment after the last activity still comes, and with it the caches: a
        // deadline that fell just before it would otherwise leave them held until the next
        // activity, however long the window then stays quiet.
        m_deadline.reset();
        ++m_started;
        ++m_startedWhileBusy;
        releaseOnWorker();
    });
}

} // namespace vesk
