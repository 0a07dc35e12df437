#pragma once
// Internal to src/store/: the thread file imports run on, one after the other.

#include "intake/FileImportJob.h"
#include "platform/SerialExecutor.h"
#include "store/ItemsReading.h"

#include <QFuture>
#include <QList>
#include <QPair>

#include <optional>

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

    // With keptFilesWalk, the request's kept files are read from the library here, on the
    // worker: at 100,000 items the walk takes longer than a frame. The result then holds them.
    QFuture<FileImportResult> submit(FileImportRequest request, std::optional<ItemsWalk> keptFilesWalk = std::nullopt)
    {
        m_jobs.removeIf([](const auto& job) { return job.second.isFinished(); });
        const CancellationToken token = request.cancel;
        QFuture<FileImportResult> future = m_executor.run(
            [request = std::move(request), walk = std::move(keptFilesWalk)]() mutable {
                if (!walk)
                    return runFileImport(request);
                request.keptFiles = walk->gather<KeptFile>(kItemsPerTurn, [](const VeskItem& item, QList<KeptFile>& files) {
                    if (item.filePath)
                        files.append(KeptFile{item.id, item.title, *item.filePath});
                }).value_or(QList<KeptFile>());
                FileImportResult result = runFileImport(request);
                result.keptFiles = request.keptFiles;
                return result;
            });
        m_jobs.append({token, future});
        return future;
    }

private:
    static constexpr qsizetype kItemsPerTurn = 4096;
    QList<QPair<CancellationToken, QFuture<FileImportResult>>> m_jobs;
    // Bulk work: the main thread is preferred whenever it wants a core.
    SerialExecutor m_executor{QThread::LowPriority};
};

} // namespace vesk
