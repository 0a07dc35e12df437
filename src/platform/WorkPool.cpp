#include "platform/WorkPool.h"

namespace vesk {

QThreadPool* workPool()
{
    // As many threads as the global pool would have; never destroyed, as jobs may still end
    // while the application shuts down.
    static QThreadPool* const pool = new QThreadPool;
    return pool;
}

} // namespace vesk
