#include "platform/nn/ParallelFor.h"

#include "platform/ParallelWork.h"
#include "platform/WorkPools.h"

#include <algorithm>

namespace vesk::nn {

void parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t, int64_t)>& body)
{
    if (count <= 0)
        return;
    QThreadPool* pool = WorkPools::shared().analysis();
    grain = std::max<int64_t>(1, grain);
    const int64_t threads = std::max(1, pool->maxThreadCount());
    // A few chunks per thread even out uneven work without much overhead.
    const int64_t chunks = std::min<int64_t>(std::max<int64_t>(1, count / grain), threads * 4);
    if (chunks <= 1) {
        body(0, count);
        return;
    }
    const int64_t chunkSize = (count + chunks - 1) / chunks;
    const int64_t chunkCount = (count + chunkSize - 1) / chunkSize;
    forEachInParallel(
        size_t(chunkCount),
        [&](size_t chunk) {
            const int64_t begin = int64_t(chunk) * chunkSize;
            body(begin, std::min(count, begin + chunkSize));
        },
        pool);
}

} // namespace vesk::nn
