// File import: started on the main thread, copied and read on the import worker, applied back on
// the main thread as a new item, an "already kept" notice, or a failure said aloud.
#include "store/FileIntake.h"

#include "intake/ActivityIdentities.h"
#include "intake/FileTitles.h"
#include "platform/BackgroundRelease.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "platform/Uuid.h"
#include "store/CaptureRowWriter.h"
#include "store/FailureWording.h"
#include "store/FileImportWorker.h"
#include "store/FileIntakeHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QSet>
#include <QTimer>
#include <atomic>
#include <unistd.h>

namespace vesk {

namespace {

// Files at least this large show their progress in the intake notice.
constexpr qint64 kProgressShownFromBytes = 50 * 1000 * 1000;
constexpr int kProgressPollMs = 100;

const QString kNotImportedTitle = QStringLiteral("Not imported");

// Learned facts merged on the window's thread when the table changed during the import; a few
// hashes, most often.
constexpr qsizetype kFactsMergedInTurn = 1024;

} // namespace

struct FileIntake::RunningImport {
    QUuid id;
    QString name;
    // How failures name the source, when not by its quoted name.
    QString subject;
    CancellationToken cancel;
    // The count of changes to what is known of kept files when the import began: the worker
    // checked the kept files of that moment itself.
    quint64 factsChangesAtStart = 0;
    // The count of item changes when it began.
    quint64 itemsChangesAtStart = 0;
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{-1};
};

FileIntake::FileIntake(std::unique_ptr<FileIntakeHost> host, QObject* parent)
    : QObject(parent), m_hostHeld(std::move(host)), m_host(*m_hostHeld)
{
}

FileIntake::~FileIntake()
{
    cancelAllImports();
}

void FileIntake::finishFileImport()
{
    m_host.changeImportCount(-1);
}

std::optional<QList<FileIntake::HeldFile>> FileIntake::heldFiles(ItemsWalk walk)
{
    return walk.gather<HeldFile>(4096, [](const VeskItem& item, QList<HeldFile>& files) {
        if (item.filePath)
            files.append({item.id, item.kind, *item.filePath});
    });
}

QFuture<bool> FileIntake::importFile(const QString& path, const QString& subject)
{
    return importNativeFileAs(QFile::encodeName(QDir::cleanPath(path)), QUuid::createUuid(), subject);
}

QFuture<bool> FileIntake::importNativeFile(const QByteArray& nativePath)
{
    return importNativeFileAs(nativePath, QUuid::createUuid());
}

QFuture<bool> FileIntake::importNativeFileAs(const QByteArray& nativePath, const QUuid& newItemID,
                                             const QString& subject, std::optional<bool> isFolder)
{
    m_host.changeImportCount(1);
    const QString name = displayFileName(nativePath.mid(nativePath.lastIndexOf('/', nativePath.size() - 2) + 1));
    const QString said = subject.isEmpty() ? quotedItemTitle(name) : subject;
    if (const std::optional<QString> refused = m_host.whyChangesAreRefused()) {
        sayNotImported(QFile::decodeName(nativePath), said + QStringLiteral(" was not imported: ") + *refused + QLatin1Char('.'));
        finishFileImport();
        return QtFuture::makeReadyFuture(false);
    }
    if (m_host.libraryHasProblem()) {
        sayNotImported(QFile::decodeName(nativePath), said + QStringLiteral(" was not imported: the library could not be read."));
        finishFileImport();
        return QtFuture::makeReadyFuture(false);
    }
    // Note and activity packages become items of their own, not plain folders.
    if (std::optional<QFuture<bool>> package = importIfPackageAs(QFile::decodeName(nativePath), newItemID, isFolder)) {
        m_packageImportNames.append({newItemID, name});
        return deliverResultAsFuture(this, *package, [this, newItemID](bool kept) {
            m_packageImportNames.removeIf([&newItemID](const auto& entry) { return entry.first == newItemID; });
            finishFileImport();
            return kept;
        });
    }

    auto job = std::make_shared<RunningImport>();
    job->id = newItemID;
    job->name = name;
    job->subject = subject;
    job->factsChangesAtStart = m_fileFactsChanges;
    m_runningImports.append(job);

    FileImportRequest request;
    request.sourceNative = nativePath;
    request.itemsDirectory = m_host.managedItemsDirectory();
    request.id = job->id;
    // Shared copies: the worker reads the library as it stood, the store goes on changing its own.
    // The kept files are read by the worker when the items changed since the last import read them.
    std::optional<ItemsWalk> keptFilesWalk;
    if (m_keptFilesAt == m_itemsChanges)
        request.keptFiles = m_keptFiles;
    else
        keptFilesWalk.emplace(m_host.itemsReading());
    job->itemsChangesAtStart = m_itemsChanges;
    request.keptFacts = m_fileFacts;
    request.cancel = job->cancel;
    request.progress = [job](qint64 done, qint64 total) {
        job->done.store(done, std::memory_order_relaxed);
        job->total.store(total, std::memory_order_relaxed);
    };

    // The connection that will write the row is opened while the file is copied, not after it:
    // opening it sets up the schema, a flush of its own.
    if (const std::shared_ptr<CaptureRowWriter> writer = m_host.backgroundWriter())
        m_host.captureWorker().run([writer] { (void)writer->database(); });

    if (!m_importWorker)
        m_importWorker = std::make_shared<FileImportWorker>();
    if (!m_importProgressTimer) {
        m_importProgressTimer = new QTimer(this);
        m_importProgressTimer->setInterval(kProgressPollMs);
        connect(m_importProgressTimer, &QTimer::timeout, this, &FileIntake::updateImportProgress);
    }
    m_importProgressTimer->start();

    return deliverResultAsFuture(this, m_importWorker->submit(std::move(request), std::move(keptFilesWalk)),
        [this, job](const FileImportResult& result) { return applyFileImportInTurn(job, result); });
}

void FileIntake::sayNotImported(const QString& source, const QString& detail)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(source));
    if (const auto entry = m_inboxPathsInFlight.constFind(path); entry != m_inboxPathsInFlight.cend()) {
        // Replaced, changed or refused for another reason, it is said again; otherwise this is the
        // failure already said, met again at the inbox's next scan.
        const SaidFailure said{*entry, detail};
        if (const auto before = m_saidFailures.constFind(path); before != m_saidFailures.cend() && *before == said)
            return;
        m_saidFailures.removeIf([](const auto& failed) { return ::access(failed.key().constData(), F_OK) != 0; });
        m_saidFailures.insert(path, said);
    }
    m_host.reportFailure(kNotImportedTitle, detail, QDir::cleanPath(source));
}

void FileIntake::cancelImport(const QUuid& importID)
{
    for (const auto& job : std::as_const(m_runningImports)) {
        if (job->id == importID)
            job->cancel.cancel();
    }
}

void FileIntake::cancelAllImports()
{
    for (const auto& job : std::as_const(m_runningImports))
        job->cancel.cancel();
}

QSet<QString> FileIntake::busyImportFolderNames() const
{
    QSet<QString> names;
    for (const auto& job : m_runningImports)
        names.insert(uuidString(job->id));
    for (const QUuid& id : m_packageImportIDs)
        names.insert(uuidString(id));
    return names;
}

QStringList FileIntake::importsUnderWay() const
{
    QStringList names;
    for (const auto& job : m_runningImports)
        names.append(job->name);
    for (const auto& [id, name] : m_packageImportNames)
        names.append(name);
    return names;
}

void FileIntake::setImportProgress(const std::optional<VeskImportProgress>& value)
{
    if (m_importProgress == value)
        return;
    m_importProgress = value;
    emit importProgressChanged();
}

void FileIntake::updateImportProgress()
{
    std::optional<VeskImportProgress> shown;
    for (const auto& job : std::as_const(m_runningImports)) {
        const qint64 total = job->total.load(std::memory_order_relaxed);
        if (total >= kProgressShownFromBytes && !job->cancel.isCancelled()) {
            shown = VeskImportProgress{job->id, job->name, job->done.load(std::memory_order_relaxed), total};
            break;
        }
    }
    setImportProgress(shown);
    if (m_runningImports.isEmpty() && m_importProgressTimer)
        m_importProgressTimer->stop();
}

void FileIntake::keepAsDuplicate(const VeskItem& existing, const QString& source)
{
    // An item whose row was never written is not kept yet: write it now, and only once it is
    // kept may the source go.
    m_host.saveIfUnsaved(existing);
    // An inbox entry that could not be removed after its import comes back now and then: what it
    // holds is kept and was said, and it takes nobody's selection.
    if (isUnremovedInboxEntry(source))
        return;
    m_host.selectKept(existing.id, true);
    m_host.postNotice(VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Duplicate,
                                     QStringLiteral("Already in Vesk"), existing.title, existing.id});
}

QFuture<bool> FileIntake::whenKept(const QUuid& id)
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> kept = promise->future();
    m_host.whenRowWritten(id, RowWait::FirstWrite, [promise](bool answer) {
        promise->addResult(answer);
        promise->finish();
    });
    return kept;
}

QFuture<bool> FileIntake::applyFileImportInTurn(const std::shared_ptr<RunningImport>& job, const FileImportResult& result)
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> applied = promise->future();
    m_importsWaitingForRow.append([this, job, result, promise] {
        applyFileImport(job, result, [promise](bool kept) {
            promise->addResult(kept);
            promise->finish();
        });
    });
    applyWaitingImports();
    return applied;
}

void FileIntake::applyWaitingImports()
{
    while (!m_importRowInFlight && !m_importsWaitingForRow.isEmpty())
        m_importsWaitingForRow.takeFirst()();
}

void FileIntake::leaveRunningImports(const std::shared_ptr<RunningImport>& job)
{
    m_runningImports.removeOne(job);
    if (m_runningImports.isEmpty())
        m_keptByImports.clear();
}

void FileIntake::applyFileImport(const std::shared_ptr<RunningImport>& job, const FileImportResult& result,
                                 std::function<void(bool)> done)
{
    // The job stays running (its item folder busy for the sweep) until its item is in the list.
    const auto finish = [this, job, done](bool kept) {
        leaveRunningImports(job);
        finishFileImport();
        updateImportProgress();
        done(kept);
    };
    // The item is in the list; its row may still wait for the check of the library file after
    // start-up. The source may leave an inbox (and a copied picture counts as taken) only once
    // the item is kept: a row the check lets through is written then, and an answer given before
    // would say false of an item that is kept after all.
    const auto finishWhenKept = [this, job, done](const QUuid& id) {
        leaveRunningImports(job);
        finishFileImport();
        updateImportProgress();
        m_host.whenRowWritten(id, RowWait::FirstWrite, done);
    };
    // The kept files the worker read serve the next import while the items stay as they were.
    if (!result.keptFiles.isEmpty() && job->itemsChangesAtStart == m_itemsChanges) {
        releaseInBackground(std::exchange(m_keptFiles, result.keptFiles));
        m_keptFilesAt = m_itemsChanges;
    }
    // What the worker found out about kept files saves the next import a look at them.
    if (!result.knownFacts.isEmpty() && job->factsChangesAtStart == m_fileFactsChanges) {
        // Nothing changed them meanwhile: the worker's table, with the new copy's own facts, is
        // the whole of it, and the new copy's entry no longer makes the window copy a table
        // another import still shares. The one it replaces may hold a fact for each kept file,
        // and is let go of on a worker.
        releaseInBackground(std::exchange(m_fileFacts, result.knownFacts));
        ++m_fileFactsChanges;
    } else if (!result.learnedFacts.isEmpty()) {
        if (result.learnedFacts.size() <= kFactsMergedInTurn) {
            addLearnedFacts(m_fileFacts, result.learnedFacts);
        } else {
            // Another import or a delete came meanwhile. A hash cost a read of a whole file and
            // is kept; the sizes of a first import are many and cheap, and the next import finds
            // them again rather than the window merging them.
            QHash<QUuid, KeptFileFacts> hashes;
            for (auto it = result.learnedFacts.cbegin(); it != result.learnedFacts.cend(); ++it) {
                if (!it->sha256.isEmpty())
                    hashes.insert(it.key(), *it);
            }
            addLearnedFacts(m_fileFacts, hashes);
        }
        ++m_fileFactsChanges;
    }
    const QString name = job->subject.isEmpty() ? quotedItemTitle(result.sourceName) : job->subject;

    switch (result.outcome) {
    case FileImportResult::Outcome::Cancelled:
        finish(false);
        return;
    case FileImportResult::Outcome::Missing:
        // An inbox entry handed over with what its watcher read of it, and taken away before its
        // copy began (by the user, or by the sync that brought it), failed at nothing.
        if (m_inboxPathsInFlight.contains(QFile::encodeName(QDir::cleanPath(result.sourcePath)))) {
            finish(false);
            return;
        }
        sayNotImported(result.sourcePath, name + QStringLiteral(" was not imported: ") + result.reason + QLatin1Char('.'));
        finish(false);
        return;
    case FileImportResult::Outcome::Failed:
        veskLog(QStringLiteral("Vesk copy error for ") + result.sourcePath + QStringLiteral(": ") + result.error);
        veskLog(QStringLiteral("Vesk refused to create a fragile file reference for ") + result.sourcePath);
        sayNotImported(result.sourcePath, name + QStringLiteral(" could not be imported: ") + result.reason + QLatin1Char('.'));
        finish(false);
        return;
    case FileImportResult::Outcome::Duplicate: {
        const std::optional<VeskItem> existing = result.duplicateOf ? m_host.currentItem(*result.duplicateOf)
                                                                    : std::nullopt;
        if (!existing) {
            sayNotImported(result.sourcePath, name + QStringLiteral(" was not imported: the kept item with the "
                                                                    "same content was deleted meanwhile. Please add "
                                                                    "it again."));
            finish(false);
            return;
        }
        keepAsDuplicate(*existing, result.sourcePath);
        finishWhenKept(existing->id);
        return;
    }
    case FileImportResult::Outcome::Imported:
        break;
    }

    VeskItem item;
    item.id = job->id;
    item.kind = result.isImage ? VeskKind::Image : VeskKind::File;
    item.createdAt = m_host.now();
    item.filePath = result.managedPath;

    // The same content may have been kept since this import began (the same file dropped twice
    // at once): the new copy goes again, and the first one is the item. Only the files imports
    // kept since the start can be it (the worker checked the others), so those are looked
    // through rather than every item of the library, which took a good part of a frame.
    if (result.sha256) {
        QSet<QUuid> sameContent;
        for (const KeptByImport& kept : std::as_const(m_keptByImports)) {
            if (kept.change > job->factsChangesAtStart && kept.facts.size == result.size
                && kept.facts.sha256 == *result.sha256)
                sameContent.insert(kept.id);
        }
        std::optional<VeskItem> kept;
        if (sameContent.size() == 1) {
            kept = m_host.currentItem(*sameContent.cbegin());
        } else if (sameContent.size() > 1) {
            for (const VeskItem& candidate : m_host.items()) {
                if (sameContent.contains(candidate.id) && candidate.filePath) {
                    kept = candidate;
                    break;
                }
            }
        }
        if (kept && kept->filePath) {
            m_host.removeManagedFile(item);
            keepAsDuplicate(*kept, result.sourcePath);
            finishWhenKept(kept->id);
            return;
        }
    }

    item.searchableText = result.searchableParts.join(QLatin1Char(' '));
    item.title = result.sourceName;
    item.title = cleanedTitleFromFileName(result.sourceName, item, item.createdAt);

    // The row goes through the worker's own connection: flushing it to a disk busy with the copy
    // just made would hold up the window. A row the worker could not write is written (or marked
    // unsaved and retried) on the main connection as the item enters the list.
    const std::shared_ptr<CaptureRowWriter> writer = m_host.backgroundWriter();
    const auto commit = [this, result, item, finish, finishWhenKept](bool written) {
        if (commitImportedFile(result, item, written))
            finishWhenKept(item.id);
        else
            finish(false);
    };
    if (!writer) {
        commit(false);
        return;
    }
    m_importRowInFlight = true;
    deliverResult(this, m_host.captureWorker().run([writer, item] { return writer->write(item, std::nullopt); }),
        [this, commit, clears = m_host.libraryClears()](bool written) {
            m_importRowInFlight = false;
            commit(written && clears == m_host.libraryClears());
            applyWaitingImports();
        });
}

bool FileIntake::commitImportedFile(const FileImportResult& result, const VeskItem& item, bool written)
{
    if (!m_host.commitNewItem(item, written) && !m_host.currentItem(item.id)) {
        // Refused: the copy would be a folder no item refers to (unless its row names it).
        if (!written)
            m_host.removeManagedFile(item);
        return false;
    }
    if (!result.isFolder) {
        const KeptFileFacts facts{result.size, result.sha256.value_or(QString())};
        // Already in a table the worker handed over, most often: the table stays shared rather
        // than being copied whole for a value it holds.
        if (const auto known = m_fileFacts.constFind(item.id); known == m_fileFacts.cend() || *known != facts)
            m_fileFacts.insert(item.id, facts);
        // A table taken before this, handed back by another import, lacks it.
        ++m_fileFactsChanges;
        if (m_runningImports.size() > 1)
            m_keptByImports.append({m_fileFactsChanges, item.id, facts});
    }
    if (result.relatedVersion) {
        if (const std::optional<VeskItem> related = m_host.currentItem(*result.relatedVersion)) {
            m_host.announceWhenRowWritten(item.id, RowWait::FirstWrite,
                                          VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Version,
                                                           QStringLiteral("Looks like another version"),
                                                           related->title, related->id});
        }
    }
    if (result.isImage)
        m_host.startImageTasks(item);
    return true;
}

} // namespace vesk
