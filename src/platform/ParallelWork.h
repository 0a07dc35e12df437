#pragma once

#include "platform/ThreadSanitizerHandOff.h"
#include "platform/WorkPools.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vesk {

namespace detail {

// Calls work(i) for every i in [0, count) on up to helpers jobs of pool, and on the calling
// thread too when callerTakesPart; returns when all calls are done.
template <typename Work>
void runEachOnPool(size_t count, Work&& work, QThreadPool& pool, size_t helpers, bool callerTakesPart)
{
    struct Shared {
        std::atomic<size_t> next{0};
        std::atomic<size_t> done{0};
        size_t count = 0;
        // Only called for an index below count, that is while the caller still waits.
        const std::function<void(size_t)>* work = nullptr;
        std::mutex mutex;
        std::condition_variable finished;

        void drain()
        {
            for (size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
                (*work)(i);
                if (done.fetch_add(1) + 1 == count) {
                    const std::lock_guard lock(mutex);
                    finished.notify_all();
                }
            }
        }
    };
    const std::function<void(size_t)> call = [&work](size_t i) { work(i); };
    auto shared = std::make_shared<Shared>();
    shared->count = count;
    shared->work = &call;
    for (size_t h = 0; h < helpers; ++h)
        startHandedOff(pool, [shared] { shared->drain(); });
    if (callerTakesPart)
        shared->drain();
    std::unique_lock lock(shared->mutex);
    shared->finished.wait(lock, [&shared] { return shared->done.load() == shared->count; });
}

} // namespace detail

// Calls work(i) once for every i in [0, count) and returns when all calls are done. The calling
// thread takes items as well, and waits only for items another thread has begun: never for a
// pool thread that has not started, so a pool busy with long jobs costs the caller nothing but
// its own share. (QtConcurrent's blocking map leaves the caller asleep until pool threads have
// done every item, however late they start.)
template <typename Work>
void forEachInParallel(size_t count, Work&& work, QThreadPool* pool = WorkPools::shared().parallelForCaller())
{
    if (count <= 1 || !pool || pool->maxThreadCount() < 1) {
        for (size_t i = 0; i < count; ++i)
            work(i);
        return;
    }
    // The caller is one of the threads at work: one helper fewer than the pool has threads
    // keeps the work to as many threads as there are cores.
    const size_t helpers = std::min(size_t(std::max(1, pool->maxThreadCount() - 1)), count - 1);
    detail::runEachOnPool(count, work, *pool, helpers, true);
}

// Calls work(i) once for every i in [0, count) on the threads of pool only, and waits for all
// calls: for work that the pool's threads are set up for and the caller is not.
template <typename Work>
void forEachOnPool(size_t count, Work&& work, QThreadPool& pool)
{
    if (count == 0)
        return;
    const size_t helpers = std::min(size_t(std::max(1, pool.maxThreadCount())), count);
    detail::runEachOnPool(count, work, pool, helpers, false);
}

// Calls work(begin, end) over [0, count) in chunks on the parallel pool and the calling thread,
// and returns when all are done; a count of one chunk or less runs on the calling thread.
template <typename Work>
void forChunksInParallel(size_t count, Work&& work, size_t chunk = 4096)
{
    if (count <= chunk) {
        work(size_t(0), count);
        return;
    }
    const size_t chunks = (count + chunk - 1) / chunk;
    forEachInParallel(chunks, [&](size_t c) { work(c * chunk, std::min(count, (c + 1) * chunk)); });
}

// std::sort on all cores: pieces are sorted at once, then merged pairwise. With a strict total
// order the result is exactly std::sort's.
template <typename Value, typename Less>
void sortInParallel(std::vector<Value>& values, Less less)
{
    constexpr size_t kSmallestPiece = 8192;
    const size_t count = values.size();
    const size_t pieces = std::min<size_t>(size_t(std::max(1, QThread::idealThreadCount())), count / kSmallestPiece);
    if (pieces <= 1) {
        std::sort(values.begin(), values.end(), less);
        return;
    }
    std::vector<size_t> bounds;
    for (size_t i = 0; i <= pieces; ++i)
        bounds.push_back(count * i / pieces);
    forEachInParallel(pieces, [&](size_t i) {
        std::sort(values.begin() + qsizetype(bounds[i]), values.begin() + qsizetype(bounds[i + 1]), less);
    });
    while (bounds.size() > 2) {
        const size_t pairs = (bounds.size() - 1) / 2;
        forEachInParallel(pairs, [&](size_t pair) {
            const size_t i = 2 * pair;
            std::inplace_merge(values.begin() + qsizetype(bounds[i]), values.begin() + qsizetype(bounds[i + 1]),
                values.begin() + qsizetype(bounds[i + 2]), less);
        });
        std::vector<size_t> merged;
        for (size_t i = 0; i < bounds.size(); i += 2)
            merged.push_back(bounds[i]);
        if (merged.back() != bounds.back())
            merged.push_back(bounds.back());
        bounds.swap(merged);
    }
}

} // namespace vesk
