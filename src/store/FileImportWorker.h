#pragma once
// Internal to src/store/: the thread file imports run on, one after the other.

#include "intake/FileImportJob.h"
#include "platform/SerialExecutor.h"

#include <QFuture>
#include <QList>
#include <QPair>

namespace vesk {

class FileImportWorker {
public:
    FileImportWorker() = default;
    // Cancels what still runs, then waits for it: a copy stops at its next chunk and removes what
    // it had written.
    ~FileImportWorker()
    {
        for (const auto& [token, future] : m_jobs)
            token.cancel();
    }
    FileImportWorker(const FileImportWorker&) = delete;
    FileImportWorker& operator=(const FileImportWorker&) = delete;

    QFuture<FileImportResult> submit(FileImportRequest request)
    {
        m_jobs.removeIf([](const auto& job) { return job.second.isFinished(); });
        const CancellationToken token = request.cancel;
        QFuture<FileImportResult> future = m_executor.run([request = std::move(request)] { return runFileImport(request); });
        m_jobs.append({token, future});
        return future;
    }

private:
    QList<QPair<CancellationToken, QFuture<FileImportResult>>> m_jobs;
    // Bulk work: the main thread is preferred whenever it wants a core.
    SerialExecutor m_executor{QThread::LowPriority};
};

} // namespace vesk
