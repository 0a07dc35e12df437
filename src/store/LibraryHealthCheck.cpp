// The check of the library file's structure after start-up, and the new rows that wait for it.
#include "store/LibraryHealth.h"

#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "store/LibraryHealthHost.h"
#include "store/LibraryReading.h"
#include "store/SQLiteDatabase.h"

#include <QCoreApplication>

#include <utility>

namespace vesk {

namespace {

// The findings named in the problem view; the log has all of them.
constexpr qsizetype kFindingsShown = 3;

} // namespace

bool LibraryHealth::libraryCheckPending() const
{
    return m_libraryCheck == CheckState::Waiting || m_libraryCheck == CheckState::Running;
}

void LibraryHealth::startLibraryCheck()
{
    if (m_libraryCheck != CheckState::Waiting)
        return;
    SQLiteDatabase* database = m_host.database();
    if (!database) {
        m_libraryCheck = CheckState::Done;
        return;
    }
    m_libraryCheck = CheckState::Running;
    // Reading every page takes a while on a large library: it runs on a thread of its own and
    // stops when the store goes. New items wait for it, so it is not put behind the background
    // work that follows search readiness: one thread at the window's own priority.
    m_libraryCheckWorker = std::make_unique<SerialExecutor>();
    const QString path = database->filePath();
    const CancellationToken stop = m_libraryCheckStop;
    deliverResult(this,
        m_libraryCheckWorker->run([path, stop] { return checkLibraryFile(path, stop); }),
        [this](const LibraryCheckReading& reading) { finishLibraryCheck(reading); });
}

void LibraryHealth::waitForLibraryCheck()
{
    startLibraryCheck();
    while (libraryCheckPending() && m_libraryCheckWorker) {
        m_libraryCheckWorker->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

void LibraryHealth::stopLibraryCheck()
{
    m_libraryCheckStop.cancel();
    m_libraryCheckWorker.reset();
}

void LibraryHealth::finishLibraryCheck(const LibraryCheckReading& reading)
{
    m_libraryCheck = CheckState::Done;
    const QList<QUuid> waiting = m_savingOrder;
    m_savingOrder.clear();
    const QList<DeferredWork> deferred = std::move(m_afterLibraryCheck);
    m_afterLibraryCheck.clear();
    // What waited is not in the file: unsaved, and said before the window closes. Work that
    // waited will never run; those who counted on it hear so.
    const auto giveUpWhatWaited = [this, &deferred] {
        if (!m_savingItemIDs.isEmpty()) {
            m_unsavedItemIDs.unite(m_savingItemIDs);
            m_neverWrittenItemIDs.unite(m_savingItemIDs);
            m_savingItemIDs.clear();
            emit unsavedItemIDsChanged();
            emit savingItemIDsChanged();
        }
        for (const DeferredWork& dropped : deferred) {
            if (dropped.ifDropped)
                dropped.ifDropped();
        }
    };

    SQLiteDatabase* database = m_host.database();
    if (m_libraryProblem || !database) {
        // The library went meanwhile (its items could not be read).
        giveUpWhatWaited();
        return;
    }
    if (reading.error) {
        // Not knowing is no finding: the library goes on as it was read.
        veskLog(QStringLiteral("Vesk library check error: ") + reading.error->logText());
    } else if (!reading.damage.isEmpty()) {
        const QString path = database->filePath();
        veskLog(QStringLiteral("Vesk library check found damage in ") + path + QStringLiteral(": ")
                + reading.damage.join(QStringLiteral("; ")));
        // No connection is left that could write into the file, and nothing more is taken in.
        m_host.closeDamagedLibrary();
        giveUpWhatWaited();
        setLibraryProblem(VeskLibraryProblem{VeskLibraryProblem::Kind::Damaged, path,
            QStringLiteral("SQLite's integrity check (PRAGMA quick_check) found damage in it: ")
                + reading.damage.mid(0, kFindingsShown).join(QStringLiteral("; ")),
            newestRecoverySnapshot()});
        return;
    }

    // A file that passed (or could not be checked) takes what waited, in the order it came.
    requestLaunchSnapshot();
    if (!m_savingItemIDs.isEmpty()) {
        m_savingItemIDs.clear();
        emit savingItemIDsChanged();
    }
    for (const QUuid& id : waiting) {
        const std::optional<VeskItem> item = m_host.currentItem(id);
        if (!item)
            continue; // deleted meanwhile
        (void)writeNewItem(*item, m_host.richText(id));
    }
    for (const DeferredWork& waited : deferred)
        waited.work();
}

void LibraryHealth::requestLaunchSnapshot()
{
    if (m_launchSnapshotHeld) {
        m_launchSnapshotDue = true;
        return;
    }
    m_services.recoverySnapshots->requestLaunchSnapshot();
}

void LibraryHealth::releaseLaunchSnapshot()
{
    m_launchSnapshotHeld = false;
    if (std::exchange(m_launchSnapshotDue, false))
        m_services.recoverySnapshots->requestLaunchSnapshot();
}

bool LibraryHealth::holdRowForLibraryCheck(const QUuid& id)
{
    if (m_savingItemIDs.contains(id))
        return true;
    if (!libraryCheckPending())
        return false;
    m_savingItemIDs.insert(id);
    m_savingOrder.append(id);
    emit savingItemIDsChanged();
    return true;
}

void LibraryHealth::afterLibraryCheck(std::function<void()> work, std::function<void()> ifDropped)
{
    if (libraryCheckPending())
        m_afterLibraryCheck.append({std::move(work), std::move(ifDropped)});
    else
        work();
}

bool LibraryHealth::rowIsWritten(const QUuid& id) const
{
    return !m_unsavedItemIDs.contains(id) && !m_savingItemIDs.contains(id);
}

void LibraryHealth::forgetSavingItems(const QSet<QUuid>& ids)
{
    const QSet<QUuid> forgotten = ids; // ids may be savingItemIDs() itself
    for (const QUuid& id : forgotten)
        tellRowWritten(id, false);
    if (!m_savingItemIDs.intersects(forgotten))
        return;
    m_savingItemIDs.subtract(forgotten);
    m_savingOrder.removeIf([&](const QUuid& id) { return forgotten.contains(id); });
    emit savingItemIDsChanged();
}

} // namespace vesk
