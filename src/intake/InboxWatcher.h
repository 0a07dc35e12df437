#pragma once
// Watches the local "Inbox" folder: after changes settle it lists the regular, visible files lying
// directly in it whose size and time held still since the scan before and that nobody is writing
// any more, and hands them, oldest first, to the handler on the thread that created the watcher.
// A file still open for writing is left until its writer closes it. Files are named by the bytes
// the file system keeps, so a name that is not UTF-8 is delivered like any other. It never
// touches a file.

#include "intake/FileStability.h"
#include "intake/InboxWriters.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
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
    struct Timing {
        int firstScanMs = 50;
        // Quiet time after the last change before a scan; also the wait before looking again at
        // a file that was still changing.
        int debounceMs = 220;
    };

    InboxWatcher(const QString& inboxPath, Handler handler, Timing timing, QObject* parent = nullptr);
    InboxWatcher(const QString& inboxPath, Handler handler, QObject* parent = nullptr)
        : InboxWatcher(inboxPath, std::move(handler), Timing{}, parent) {}
    ~InboxWatcher() override;

    QString inboxPath() const { return m_inboxPath; }
    // Looks at the folder again once it is quiet: a file the handler left for a later delivery
    // (it changed while it was copied) would otherwise wait for the next change in the folder.
    void scanSoon();

private:
    QString m_inboxPath;
    Handler m_handler;
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

signals:
    void filesReady(const QList<QByteArray>& nativePaths);

private:
    QString m_inboxPath;
    InboxWatcher::Timing m_timing;
    QTimer* m_debounce = nullptr;
    FolderWriteEvents* m_events = nullptr;
    bool m_watching = false;
    std::optional<InboxWriters> m_writers;
    InboxWriters::Look m_writersLook;
    QHash<QByteArray, FileStamp> m_previous;
};

} // namespace vesk
