#include "platform/nn/ThreadPool.h"

#include "platform/ThreadPriority.h"

#include <algorithm>
#include <atomic>
#include <sched.h>

namespace vesk::nn {

struct ThreadPool::Job {
    const std::function<void(int64_t, int64_t)>* body = nullptr;
    int64_t count = 0;
    int64_t chunkSize = 1;
    int64_t chunks = 0;
    std::atomic<int64_t> next{0};
    std::atomic<int64_t> finished{0};
    std::mutex mutex;
    std::condition_variable done;
};

ThreadPool::ThreadPool(int workerCount)
{
    for (int k = 0; k < workerCount; ++k)
        m_threads.emplace_back([this] { workerLoop(); });
}

ThreadPool::~ThreadPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

namespace {

// The cores this process may run on (its affinity mask), which is what a container or taskset
// grants, not what the machine has.
int usableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1, int(std::thread::hardware_concurrency()));
}

} // namespace

ThreadPool& ThreadPool::shared()
{
    static ThreadPool pool(std::max(1, usableCores() - 1));
    return pool;
}

void ThreadPool::runChunks(Job& job)
{
    for (;;) {
        const int64_t chunk = job.next.fetch_add(1);
        if (chunk >= job.chunks)
            return;
        const int64_t begin = chunk * job.chunkSize;
        const int64_t end = std::min(job.count, begin + job.chunkSize);
        (*job.body)(begin, end);
        if (job.finished.fetch_add(1) + 1 == job.chunks) {
            std::lock_guard lock(job.mutex);
            job.done.notify_all();
        }
    }
}

void ThreadPool::workerLoop()
{
    // The window comes first. Lowered, not idle: the People window's suggestions share these
    // helpers, and a busy computer must not hold those up indefinitely.
    makeCurrentThreadBackground();
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = m_jobs.front();
            // A job whose chunks are all claimed needs no more helpers.
            if (job->next.load() >= job->chunks) {
                m_jobs.pop_front();
                continue;
            }
        }
        runChunks(*job);
    }
}

void ThreadPool::parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t, int64_t)>& body)
{
    if (count <= 0)
        return;
    grain = std::max<int64_t>(1, grain);
    const int64_t maxChunks = std::max<int64_t>(1, count / grain);
    // A few chunks per thread even out uneven work without much overhead.
    const int64_t chunks = std::min<int64_t>(maxChunks, int64_t(concurrency()) * 4);
    if (chunks <= 1 || m_threads.empty()) {
        body(0, count);
        return;
    }
    auto job = std::make_shared<Job>();
    job->body = &body;
    job->count = count;
    job->chunkSize = (count + chunks - 1) / chunks;
    job->chunks = (count + job->chunkSize - 1) / job->chunkSize;
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(job);
    }
    m_wake.notify_all();
    runChunks(*job);
    std::unique_lock lock(job->mutex);
    job->done.wait(lock, [&] { return job->finished.load() == job->chunks; });
}

} // namespace vesk::nn
