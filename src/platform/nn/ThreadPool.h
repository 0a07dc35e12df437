#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vesk::nn {

// A small pool of worker threads for the model runtime. parallelFor splits a range into chunks
// that the workers and the calling thread take in turn; the caller helps until every chunk is
// claimed, so a parallelFor issued from inside a worker (several models running at once) cannot
// deadlock.
class ThreadPool {
public:
    explicit ThreadPool(int workerCount);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // The pool the runtime uses: one worker fewer than the machine has cores (the caller is the
    // last), at least one.
    static ThreadPool& shared();

    // Runs body(begin, end) over [0, count) in chunks of at least `grain` items; returns when all
    // chunks have run.
    void parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t, int64_t)>& body);

    // Threads that can run chunks at once, the caller included.
    int concurrency() const { return int(m_threads.size()) + 1; }

private:
    struct Job;
    void workerLoop();
    static void runChunks(Job& job);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<Job>> m_jobs;
    std::vector<std::thread> m_threads;
    bool m_stopping = false;
};

} // namespace vesk::nn
