#pragma once

#include <cstdint>
#include <functional>

namespace vesk::nn {

// Runs body(begin, end) over [0, count) in chunks of at least `grain` items on the analysis pool
// (WorkPools) and the calling thread; returns when all chunks have run. The caller takes chunks
// too and never waits for a pool thread that has not started, so a parallelFor issued from inside
// a pool thread (several models running at once) cannot deadlock.
void parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t, int64_t)>& body);

} // namespace vesk::nn
