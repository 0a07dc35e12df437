#include "platform/WorkPools.h"

#include "platform/ThreadPriority.h"
#include "platform/WorkPool.h"

#include <QThreadPool>
#include <mutex>

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
    : m_files(backgroundPool(0)), m_parallel(new QThreadPool), m_painting(new QThreadPool),
      m_analysis(backgroundPool(0)), m_recognition(backgroundPool(2))
{
}

WorkPools& WorkPools::shared()
{
    // Never destroyed (see above).
    static WorkPools* const pools = new WorkPools;
    return *pools;
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
