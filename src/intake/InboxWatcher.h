#pragma once
// Watches the local "Inbox" folder: after changes settle it lists the regular, visible files lying
// directly in it whose size and time held still since the scan before and that nobody is writing
// any more, and hands them, oldest first, to the handler on the thread that created the watcher.
// A file still open for writing is left until its writer closes it. A file that was there before
// the folder was watched may have a writer the events never saw open it: it is taken only once
// it has been quiet for a longer time. A file the handler could not take (noteNotTaken) is
// offered again when it changes, when the library's disk has room again or became writable,
// or after a wait that doubles with each failure; reading it is no change. Files are named by
// the bytes the file system keeps, so a name that is not UTF-8 is delivered like any other. It
// never touches a file.

#include "intake/FileStability.h"
#include "intake/InboxWriters.h"
#include "intake/RetryBackoff.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <functional>

class QThread;
class QTimer;

namespace vesk {

class FolderWriteEvents;
class InboxScanner;

class InboxWatcher : public QObject {
    Q_OBJECT
public:
    // The paths as the file system's bytes.
    using Handler = std::function<void(const QList<QByteArray>& nativePaths)>;
    // The same with each file's entryTreeStamp as the watcher's thread read it while handing the
    // file over: what the file held before anything was copied, read off the handler's thread.
    using StampedHandler = std::function<void(const QList<QByteArray>& nativePaths, const QList<QByteArray>& stamps)>;
    struct Timing {
        int firstScanMs = 50;
        // Quiet time after the last change before a scan; also the wait before looking again at
        // a file that was still changing.
        int debounceMs = 220;
        // How long a file that was there before the folder was watched must have held still
        // (by its modification time, or since first seen so) before it is taken.
        int unseenQuietMs = 10'000;
    };

    InboxWatcher(const QString& inboxPath, Handler handler, Timing timing, QObject* parent = nullptr);
    InboxWatcher(const QString& inboxPath, Handler handler, QObject* parent = nullptr)
        : InboxWatcher(inboxPath, std::move(handler), Timing{}, parent) {}
    ~InboxWatcher() override;

    QString inboxPath() const { return m_inboxPath; }
    // In place of the handler; set on the creating thread before control returns to its loop.
    void setStampedHandler(StampedHandler handler) { m_stampedHandler = std::move(handler); }
    // Looks at the folder again once it is quiet: a file the handler left for a later delivery
    // (it changed while it was copied) would otherwise wait for the next change in the folder.
    void scanSoon();
    // The handler could not take the file at nativePath (the import failed, or it was kept but
    // could not be removed): it is not offered again until it changes, the library's disk has
    // room, the library or the Inbox became writable, or its wait ends.
    void noteNotTaken(const QByteArray& nativePath);

private:
    QString m_inboxPath;
    Handler m_handler;
    StampedHandler m_stampedHandler;
    Timing m_timing;
    QThread* m_thread = nullptr;
    InboxScanner* m_scanner = nullptr;
};

// The watcher's worker; lives on the watcher's own thread.
class InboxScanner : public QObject {
    Q_OBJECT
public:
    InboxScanner(QString inboxPath, InboxWatcher::Timing timing);

    // Before start(): who looks at the processes' open files (filesOpenForWriting by default).
    void setWritersLook(InboxWriters::Look look) { m_writersLook = std::move(look); }
    void start();
    // One listing; public for the watcher's thread only.
    void scan();
    // A scan delayMs from now, in place of the one waiting, if any.
    void scheduleScan(int delayMs);
    // See InboxWatcher::noteNotTaken.
    void noteNotTaken(const QByteArray& nativePath);
    // Where the library's copies go, whose room and writability a failed file waits for; the
    // folder "Items" beside the Inbox unless told.
    void setLibraryFolder(const QString& itemsFolder) { m_itemsFolder = itemsFolder; }

signals:
    // With each file's entryTreeStamp, read as it is handed over.
    void filesReady(const QList<QByteArray>& nativePaths, const QList<QByteArray>& stamps);

private:
    QString m_inboxPath;
    InboxWatcher::Timing m_timing;
    QTimer* m_debounce = nullptr;
    FolderWriteEvents* m_events = nullptr;
    bool m_watching = false;
    std::optional<InboxWriters> m_writers;
    InboxWriters::Look m_writersLook;
    // The library's disk as a failed file saw it.
    struct Room {
        qint64 freeBytes = -1;
        qint64 freeInodes = -1;
        bool writable = true;
    };
    // A file the handler did not take, with what it held then.
    struct NotTaken {
        FileStamp stamp;
        RetryBackoff backoff;
        // The disk was too full or not writable for it when it failed: room coming back is news.
        bool roomShort = false;
        // Offered again and not answered yet.
        bool offered = false;
    };
    Room roomNow() const;
    bool isShortOfRoom(const Room& room, qint64 bytes) const;
    // Whether a file the handler did not take may be offered now; drops it when it changed.
    bool mayOfferAgain(const QByteArray& path, const FileStamp& stamp, const Room& room, qint64 now);
    // The next look that no folder event will bring: a failed file's wait, the next look at the
    // disk's room, the end of a quiet time.
    void armLookAgain(qint64 now, qint64 quietEndsAt);
    bool isQuietLongEnough(const FileStamp& stamp, qint64 sinceMs, qint64 now, qint64& endsAt) const;

    QString m_itemsFolder;
    // The size of the library's disk, as last seen: the room a copy needs grows with it.
    mutable qint64 m_diskBytes = 0;
    QTimer* m_lookAgain = nullptr;
    struct Seen {
        FileStamp stamp;
        // When this stamp was first seen, on the steady clock.
        qint64 sinceMs = 0;
    };
    QHash<QByteArray, Seen> m_previous;
    QHash<QByteArray, NotTaken> m_notTaken;
    // Files whose arrival the events did not see (there when watching began, or not watching).
    QSet<QByteArray> m_arrivedUnseen;
    // Looks at the processes for a writer only they show come further and further apart.
    RetryBackoff m_unseenWriterBackoff{1000, 30'000};
};

} // namespace vesk
