#pragma once

#include <QFuture>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/ThreadPriority.h"

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
    ~SerialExecutor() { m_pool.waitForDone(); }

    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    template <typename Function>
    auto run(Function&& function)
    {
        return QtConcurrent::run(&m_pool, std::forward<Function>(function));
    }

    // Waits for all submitted work; for tests and orderly shutdown.
    void waitForDone() { m_pool.waitForDone(); }

private:
    QThreadPool m_pool;
};

} // namespace vesk
