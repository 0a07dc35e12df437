#pragma once

#include "model/VeskItem.h"
#include "model/VeskLibraryProblem.h"
#include "model/VeskNotices.h"
#include "platform/CancellationToken.h"
#include "platform/Expected.h"
#include "store/RowWait.h"
#include "store/VeskServices.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class LibraryHealthHost;
class PendingDelay;
class SQLiteDatabase;
class SerialExecutor;
struct DatabaseError;
struct LibraryCheckReading;

// Whether the library can be used and what the user is told when it cannot: the failure notice,
// items whose latest value is not in the library file and their retries, new rows that wait for
// the check of the file after start-up, the check itself, the reason a library was opened for
// reading only, and the problem of a library that cannot be used (unreadable, lost, damaged).
// It reaches the rest of the store only through its host.
class LibraryHealth : public QObject {
    Q_OBJECT

public:
    LibraryHealth(const VeskServices& services, LibraryHealthHost& host, QObject* parent = nullptr);
    ~LibraryHealth() override;

    // --- Failure notice (LibraryHealth.cpp) ---

    // What the user asked for and did not happen; it stays until dismissed.
    const std::optional<VeskFailureNotice>& failureNotice() const { return m_failureNotice; }
    void setFailureNotice(const std::optional<VeskFailureNotice>& value);
    // Notices of other titles that came while one was shown, oldest first; each is shown in its
    // turn as the one before it is dismissed.
    const QList<VeskFailureNotice>& waitingFailureNotices() const { return m_waitingFailures; }
    // Says that something did not happen. A notice of the same title, shown or waiting, counts one
    // failure more and names it beside the others; a notice of a new title waits behind the one
    // shown, so that failures that come together are all seen. Logs nothing: callers log in their
    // own words. With a subject (the path of a file that was not imported), a failure of a subject
    // the notice already counts is not counted again: its line says the newer detail instead.
    void reportFailure(const QString& title, const QString& detail, const QString& subject = {});
    // reportFailure of an action the library file refused: what did not happen, then why in plain
    // words ("“Holiday” was not deleted: the disk is full.").
    void reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error);
    // Why the library file refused a write, in plain words: the reason the library was opened
    // read-only ("the disk is read-only"), if it was, else SQLite's reason.
    QString refusalReason(const DatabaseError& error) const;
    // While the library is read-only: says that the change did not happen and why; true then.
    bool refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen);
    // The notice shown goes, and the next waiting one (if any) takes its place.
    void dismissFailureNotice();
    // What the notices of this title spoke of is mended: the notice goes, shown or waiting.
    void withdrawFailureNotice(const QString& title);

    // --- Saving rows and unsaved items (LibraryHealth.cpp) ---

    // Writes the row (and, when given, its rich text in the same transaction); on failure logs,
    // marks the item unsaved and says so, and gives why in plain words ("the disk is full").
    // Failed too, with no words, while the row waits for the check.
    Expected<void, QString> writeItem(const VeskItem& item, const std::optional<QByteArray>& rtf);
    // writeItem for the first row of a new item: one that fails is remembered as never written
    // until a retry writes it.
    Expected<void, QString> writeNewItem(const VeskItem& item, const std::optional<QByteArray>& rtf);
    // What follows a written row: the change noted, the library marked as used, the item no
    // longer unsaved, and the others tried again.
    void noteItemWritten(const QUuid& id);
    void markUnsaved(const VeskItem& item, const QString& reason);
    void markSaved(const QUuid& id);
    // Items whose latest value is not in the library file: their cards say so, and they are
    // written again after the next successful write and at a slow interval.
    const QSet<QUuid>& unsavedItemIDs() const { return m_unsavedItemIDs; }
    // Hears whether the new item's row is in the library file, waiting as wait says: with
    // FirstWrite at once, unless the row waits for the check of the file (then once the check has
    // passed, false when it failed), and a refused or unsaved row is not written; with
    // ThroughRetries once the check or the retry that writes it has, false only when the item
    // goes first. An item not in the library is never written.
    void whenRowWritten(const QUuid& id, RowWait wait, std::function<void(bool)> heard);
    // Writes the unsaved items again, stopping at the first failure; how many are still unsaved.
    int retryUnsavedItems();
    // Deleted items: nothing of them is left to write.
    void forgetUnsavedItems(const QSet<QUuid>& ids);
    // New items whose row never reached the library file (refused, or still waiting for the
    // check): were the store to go now, nothing of them would be left but what they hold
    // outside the file.
    QSet<QUuid> itemsNeverWritten() const { return m_neverWrittenItemIDs + m_savingItemIDs; }

    // --- The check of the library file after start-up (LibraryHealthCheck.cpp) ---

    // New items taken in before the library file passed its check: shown as being saved, their
    // rows are written once it has, in the order they came, and they become unsaved if it fails.
    const QSet<QUuid>& savingItemIDs() const { return m_savingItemIDs; }
    // From opening a writable library until the check has passed or failed.
    bool libraryCheckPending() const;
    // True while the check is expected but not started yet.
    bool libraryCheckWaiting() const { return m_libraryCheck == CheckState::Waiting; }
    // Starts the check on a thread of its own if it waits.
    void startLibraryCheck();
    // Starts the check if it still waits and takes its result (tests and tools).
    void waitForLibraryCheck();
    // Stops a running check; its result is dropped.
    void stopLibraryCheck();
    // True when the new item's row waits for the check; it is then shown as being saved.
    bool holdRowForLibraryCheck(const QUuid& id);
    // Runs work now, or once the check has passed (after the rows that waited). When the check
    // fails the work is dropped and ifDropped runs instead, so that whoever counted on it can let go.
    void afterLibraryCheck(std::function<void()> work, std::function<void()> ifDropped = {});
    // Neither unsaved nor still waiting to be saved.
    bool rowIsWritten(const QUuid& id) const;
    // While held, a check that passes leaves the launch snapshot for release() to ask for:
    // copying the whole library file on a thread of the window's priority would take the cores
    // that start-up reads and indexes the library on, and the user waits for those.
    void holdLaunchSnapshot() { m_launchSnapshotHeld = true; }
    void releaseLaunchSnapshot();
    void forgetSavingItems(const QSet<QUuid>& ids);

    // --- Opening the library (LibraryOpening.cpp) ---

    // Opens the library file in the data folder: for writing, or for reading only when the
    // folder takes no writes (readOnlyReason() says why). None, with libraryProblem() set, when
    // the library is lost or cannot be read. A writable library waits for its check.
    std::unique_ptr<SQLiteDatabase> openLibrary();
    // Where the library file of the data folder is.
    QString libraryFilePath() const;
    // Why the library was opened for reading only ("the disk is full", "the disk is read-only"),
    // or none when it takes changes. Set at start; a restart after the cause is gone is enough.
    const std::optional<QString>& readOnlyReason() const { return m_readOnlyReason; }
    // Why the library cannot be used (unreadable, lost or damaged); none for a healthy one. While
    // it is set the store has no database and takes in nothing new.
    const std::optional<VeskLibraryProblem>& libraryProblem() const { return m_libraryProblem; }
    void setLibraryProblem(const std::optional<VeskLibraryProblem>& value);
    // The library file at path could not be read as a library.
    void reportUnreadable(const QString& path, const DatabaseError& error);
    // The user's word over a lost library: a new, empty library file in its place, handed to the
    // host. False (said in the failure notice) when it cannot be created, or when there is no
    // lost library.
    [[nodiscard]] bool startNewLibrary();
    // The folder of the newest finished recovery snapshot in the library folder, if any.
    std::optional<QString> newestRecoverySnapshot() const;

signals:
    void failureNoticeChanged();
    void unsavedItemIDsChanged();
    void savingItemIDsChanged();
    void libraryProblemChanged();

private:
    enum class CheckState { None, Waiting, Running, Done };

    // Says every failed write of the user defaults in the failure notice.
    void watchSettingsWrites();
    // A retry on the next turn of the event loop, after a write went through.
    void queueUnsavedRetry();
    // The slow retry, while items stay unsaved.
    void scheduleUnsavedRetry();
    // Answers those waiting for the item's row to be written.
    void tellRowWritten(const QUuid& id, bool written);
    void finishLibraryCheck(const LibraryCheckReading& reading);
    void requestLaunchSnapshot();
    std::unique_ptr<SQLiteDatabase> openForReading(const QString& path, const QString& reason);

    VeskServices m_services;
    LibraryHealthHost& m_host;

    // One failure more in a notice shown or waiting (by its subject, if it has one).
    void gatherFailure(VeskFailureNotice& notice, const QString& detail, const QString& subject);
    // What the notices no longer shown nor waiting counted is let go of.
    void forgetGoneFailureSubjects();

    std::optional<VeskFailureNotice> m_failureNotice;
    QList<VeskFailureNotice> m_waitingFailures;
    // By notice: the subjects of its failures, each with the detail line that names it (-1 when
    // it is only counted).
    QHash<QUuid, QHash<QString, qsizetype>> m_failureSubjects;
    QSet<QUuid> m_unsavedItemIDs;
    QHash<QUuid, QList<std::function<void(bool)>>> m_rowWrittenListeners;
    // The unsaved items that are new: no row of theirs is in the file.
    QSet<QUuid> m_neverWrittenItemIDs;
    std::shared_ptr<PendingDelay> m_unsavedRetry;
    bool m_unsavedRetryQueued = false;
    bool m_libraryMarkedAsUsed = false;

    CheckState m_libraryCheck = CheckState::None;
    std::unique_ptr<SerialExecutor> m_libraryCheckWorker;
    CancellationToken m_libraryCheckStop;
    QSet<QUuid> m_savingItemIDs;
    QList<QUuid> m_savingOrder;
    struct DeferredWork {
        std::function<void()> work;
        std::function<void()> ifDropped;
    };
    QList<DeferredWork> m_afterLibraryCheck;
    bool m_launchSnapshotHeld = false;
    bool m_launchSnapshotDue = false;

    std::optional<QString> m_readOnlyReason;
    std::optional<VeskLibraryProblem> m_libraryProblem;
};

} // namespace vesk
