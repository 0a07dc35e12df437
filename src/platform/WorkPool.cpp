#include "platform/WorkPool.h"

#include "platform/ThreadPriority.h"

namespace vesk {

QThreadPool* workPool()
{
    // As many threads as the global pool would have, all of them background threads: the window
    // comes first. Never destroyed, as jobs may still end while the application shuts down.
    static QThreadPool* const pool = [] {
        auto* made = new QThreadPool;
        makePoolThreadsBackground(*made);
        return made;
    }();
    return pool;
}

} // namespace vesk
