#pragma once
// Watches "Documents/VeskInbox" in the synced folder the phone companion writes to. Entries lying
// directly in it (note packages, activity packages, other files) are handed to the handler once
// everything they need has arrived: each file present, not empty and unchanged in size and time
// since the previous scan, and no file of the entry still held by a writer. Scans run on folder changes, on
// a poll, and soon after a scan that found something incomplete. Which files processes hold open
// is looked at on a worker; a scan hands its entries over once that look is back, and only those
// unchanged since. An entry that can never arrive as it stands (a pipe or device where a file
// belongs, a photo that leads outside its package, a manifest over the size limit) is reported
// once and left alone until something in it changes, and so is an entry with a name that is not
// UTF-8 text; an empty file is never ready (in a package too, except the text file of a note
// without text). Runs on the thread it lives on (CloudInboxWatcher gives it one of its own); it
// never changes a file.

#include "intake/FileStability.h"
#include "intake/InboxWriters.h"
#include "intake/RetryBackoff.h"
#include "platform/OpenFileWriters.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <functional>

class QTimer;

namespace vesk {

class FolderWriteEvents;

class CloudInboxScanner : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QStringList& paths)>;
    // The same with each entry's entryTreeStamp as this thread read it when it judged the entry
    // ready (what the entry held before anything was copied), and whether it was a package folder
    // then: read off the handler's thread.
    using StampedHandler = std::function<void(const QStringList& paths, const QList<QByteArray>& stamps,
                                              const QList<bool>& folders)>;
    using RefusalHandler = std::function<void(const QString& path, const QString& reason)>;
    struct Timing {
        int pollMs = 2000;
        int retryMs = 800;
        // How long an entry with a file whose creation the folder events did not see (it was
        // there before the watch, or made before its folder was watched) must hold still before
        // it is taken: its writer may have opened it before anyone looked, and only pauses.
        int unseenQuietMs = 30'000;
        // When an entry the handler could not import is offered again while it stays as it was.
        RetryBackoff failedRetry;
    };

    CloudInboxScanner(const QString& syncedFolder, Handler handler, Timing timing, QObject* parent = nullptr);
    CloudInboxScanner(const QString& syncedFolder, Handler handler, QObject* parent = nullptr)
        : CloudInboxScanner(syncedFolder, std::move(handler), Timing{}, parent) {}

    // Empty until configured, and for good when the synced folder does not exist.
    QString inboxPath() const { return m_inboxPath; }

    void setRefusalHandler(RefusalHandler handler) { m_refusalHandler = std::move(handler); }
    // In place of the handler.
    void setStampedHandler(StampedHandler handler) { m_stampedHandler = std::move(handler); }
    // The handler could not finish with the entry at path (its item is kept but it could not be
    // removed): it is not offered again until something in it changes.
    void leaveAloneUntilChanged(const QString& path);
    // The handler could not import the entry at path: it is offered again once it changes, or
    // after a wait that grows with each failure in a row, or at retryFailedNow.
    void retryLater(const QString& path);
    // What failed may go through now (room was made, say): failed entries are offered at the
    // next scan.
    void retryFailedNow();
    // Which of the files asked about (the files of the entries found ready) processes hold open
    // for writing, under any name. Called on this thread; the future must end with a result. By
    // default the processes are looked at on the file workers.
    using WritersLook = std::function<QFuture<QSet<FileIdentity>>(const QSet<FileIdentity>& files)>;
    void setWritersLook(WritersLook look) { m_writersLook = std::move(look); }

    void scan();
    // True from a scan that found entries ready until the look at their writers is back and
    // they are handed over; a scan asked for meanwhile runs after that.
    bool isLooking() const { return m_looking; }

    // Whether an entry has arrived whole, is still arriving, or never can as it stands (with why).
    struct Readiness {
        // Pending entries are looked at again soon; idle ones (an empty file) at the next poll.
        enum class State { Ready, Pending, Idle, Refused };
        State state = State::Pending;
        QString reason;
    };
    // Readiness of one package folder, with the stamps of the scans so far.
    Readiness notePackageReadiness(const QString& package);
    Readiness activityPackageReadiness(const QString& package);

    // How far one file has come: still changing since the scan before, held still but empty, or
    // arrived.
    enum class Arrival { Changing, Empty, Arrived };

private:
    // An entry a scan found ready, with the stamp of its whole tree and its files at that moment.
    struct Candidate {
        QString path;
        QByteArray stamp;
        QSet<FileIdentity> files;
        bool folder = false;
    };
    void configure(const QString& syncedFolder);
    // The second half of a scan: the ready entries that nobody writes, unchanged since the scan
    // judged them, go to the handler.
    void finishScan(const QList<Candidate>& candidates, const QSet<FileIdentity>& openForWriting);
    // Whether a ready entry someone still writes is looked at again soon or at its writer's close.
    bool heldEntriesWaitForEvents() const;
    Readiness plainFileReadiness(const QString& path);
    Arrival arrival(const QString& path, bool mayBeEmpty);
    // Refused when a name in the package is not UTF-8 text.
    std::optional<Readiness> undecodableNameInside(const QString& package) const;
    // The names lying directly in the inbox, hidden ones left out, as the file system's bytes.
    QList<QByteArray> listEntryNames() const;
    // Says once, until the entry changes, that an entry with such a name is not taken.
    void refuseUndecodableName(const QByteArray& nativeName);
    // Events from the package's folders too: the close of a file inside it wakes a scan.
    void watchPackage(const QString& package);
    // True when the folder events saw every file of the entry made.
    bool sawEveryFileMade(const QString& path) const;
    // For an entry some of whose files were made unseen: how much longer it must hold still
    // before it is taken (0 once it has), counted from the scan that first saw it as it is.
    qint64 unseenQuietLeft(const QString& path, const QByteArray& stamp);

    Handler m_handler;
    StampedHandler m_stampedHandler;
    RefusalHandler m_refusalHandler;
    // Entries reported as refused, with the stamp of their whole tree at that moment.
    QHash<QString, QByteArray> m_refused;
    // The same for entries whose names are not UTF-8, by their names' bytes.
    QHash<QByteArray, QByteArray> m_refusedNames;
    Timing m_timing;
    QString m_inboxPath;
    StabilityTracker m_stability;
    FolderWriteEvents* m_events = nullptr;
    std::optional<InboxWriters> m_writers;
    WritersLook m_writersLook;
    bool m_looking = false;
    bool m_scanAfterLook = false;
    QTimer* m_poll = nullptr;
    QTimer* m_retry = nullptr;
    QElapsedTimer m_lastScan;
    QElapsedTimer m_clock;
    // Entries waiting out the quiet time: the stamp each had when first seen so, and when.
    struct Quiet {
        QByteArray stamp;
        qint64 sinceMs = 0;
    };
    QHash<QString, Quiet> m_quiet;
    // Entries whose import failed: the stamp each had then, how many failures in a row, and
    // when it is offered again.
    struct Failed {
        QByteArray stamp;
        int failures = 0;
        qint64 dueMs = 0;
    };
    QHash<QString, Failed> m_failed;
};

} // namespace vesk
