#pragma once

#include <QFuture>
#include <QFutureInterface>
#include <QThread>
#include <QThreadPool>
#include <exception>
#include <memory>
#include <type_traits>

#include "platform/ThreadPriority.h"
#include "platform/ThreadSanitizerHandOff.h"

namespace vesk {

// Runs submitted work one job at a time, in submission order, on a private thread: the shape of
// an actor. Callers take results on the main thread with deliverResult.
class SerialExecutor {
public:
    // A priority below normal makes the thread a background thread (see makePoolThreadsBackground).
    explicit SerialExecutor(QThread::Priority priority = QThread::InheritPriority)
    {
        m_pool.setMaxThreadCount(1);
        m_pool.setExpiryTimeout(-1);
        m_pool.setThreadPriority(priority);
        if (priority < QThread::NormalPriority && priority != QThread::InheritPriority)
            makePoolThreadsBackground(m_pool);
    }
    ~SerialExecutor() { waitForDone(); }

    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    // The future carries no handle on the job: a thread that waits for a job QtConcurrent queued
    // takes it off the queue and runs it itself, beside the job this thread is running. (Not a
    // QPromise either: its destructor drops a continuation that may be running on another thread.)
    template <typename Function>
    auto run(Function&& function)
    {
        using Result = std::invoke_result_t<std::decay_t<Function>&>;
        auto job = std::make_shared<std::decay_t<Function>>(std::forward<Function>(function));
        QFutureInterface<Result> promise;
        // Started while it waits, as a queued QtConcurrent job is, so that a waiter waits.
        promise.reportStarted();
        QFuture<Result> future = promise.future();
        startHandedOff(m_pool, [this, promise, job]() mutable {
            // Cancelled while it waited: like a queued QtConcurrent job, it does not run.
            if (!promise.isCanceled()) {
                try {
                    if constexpr (std::is_void_v<Result>)
                        (*job)();
                    else
                        promise.reportResult((*job)());
                } catch (...) {
                    promise.reportException(std::current_exception());
                }
            }
            // What a job did without a result is seen by whoever waits for this executor.
            handOff(this);
            promise.reportFinished();
        });
        return future;
    }

    // Waits for all submitted work; for tests and orderly shutdown.
    void waitForDone()
    {
        m_pool.waitForDone();
        takeOver(this);
    }

private:
    QThreadPool m_pool;
};

} // namespace vesk
