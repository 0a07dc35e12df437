#include "platform/WorkPools.h"

#include "platform/ThreadPriority.h"
#include "platform/WorkPool.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThreadPool>
#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace vesk {

namespace {

// Its threads are made at once, lowered, and kept.
QThreadPool* backgroundPool(int threads)
{
    auto* pool = new QThreadPool;
    if (threads > 0)
        pool->setMaxThreadCount(threads);
    makePoolThreadsBackground(*pool);
    return pool;
}

} // namespace

WorkPools::WorkPools()
    : m_files(backgroundPool(0)), m_parallel(new QThreadPool), m_backgroundParallel(backgroundPool(0)),
      m_painting(new QThreadPool),
      m_analysis(backgroundPool(0)), m_recognition(backgroundPool(2))
{
}

WorkPools& WorkPools::shared()
{
    // Never destroyed (see above). Their jobs are waited for, though, while the application
    // object goes: after it, Qt's own statics that a job may be inside (the MIME database's lock)
    // are destroyed under it. What was queued and not started is dropped; a job stuck longer than
    // the wait is left, as before, rather than holding the quit.
    static WorkPools* const pools = [] {
        qAddPostRoutine([] { (void)shared().finishAll(3000); });
        return new WorkPools;
    }();
    return *pools;
}

bool WorkPools::finishAll(int msecs)
{
    const QList<QThreadPool*> pools {m_files, m_parallel, m_backgroundParallel, m_painting, m_analysis, m_recognition};
    for (QThreadPool* pool : pools)
        pool->clear();
    QDeadlineTimer deadline(msecs);
    bool finished = true;
    for (QThreadPool* pool : pools)
        finished = pool->waitForDone(int(qMax<qint64>(0, deadline.remainingTime()))) && finished;
    return finished;
}

int finishWorkBeforeExit(int exitCode, int msecs)
{
    if (WorkPools::shared().finishAll(msecs))
        return exitCode;
    veskLog(QStringLiteral("Vesk quit: background work still running after %1 ms is left behind").arg(msecs));
    std::fflush(nullptr);
    ::_exit(exitCode);
}

QThreadPool* WorkPools::parallelForCaller() const
{
    return currentThreadIsBackground() ? m_backgroundParallel : m_parallel;
}

void WorkPools::keepForegroundThreadsAtCallersPriority()
{
    static std::once_flag kept;
    std::call_once(kept, [this] {
        // Qt's global pool is where the raster engine splits its fills; no work of ours goes there.
        keepPoolThreadsAtCallersPriority(*QThreadPool::globalInstance());
        keepPoolThreadsAtCallersPriority(*m_parallel);
        keepPoolThreadsAtCallersPriority(*m_painting);
    });
}

QThreadPool* workPool()
{
    return WorkPools::shared().files();
}

} // namespace vesk
