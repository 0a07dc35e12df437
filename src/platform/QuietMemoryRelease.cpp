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

QuietMemoryRelease::QuietMemoryRelease(std::shared_ptr<Timers> timers, int quietMs, QObject* parent)
    : QObject(parent), m_timers(std::move(timers)), m_quietMs(quietMs)
{
}

QuietMemoryRelease::~QuietMemoryRelease()
{
    if (m_pending)
        m_pending->cancel();
}

void QuietMemoryRelease::noteActivity()
{
    if (m_pending)
        m_pending->cancel();
    m_pending = m_timers->after(m_quietMs, this, [this] {
        m_pending.reset();
        ++m_started;
        for (const auto& release : m_alsoRelease)
            release();
        releaseOnWorker();
    });
}

} // namespace vesk
