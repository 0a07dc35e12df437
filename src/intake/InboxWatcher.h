#pragma once
// Watches the local "Inbox" folder: after changes settle it lists the regular, visible files lying
// directly in it whose size and time held still since the scan before, and hands them, oldest
// first, to the handler on the thread that created the watcher. It never touches a file.

#include "intake/FileStability.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <functional>

class QFileSystemWatcher;
class QThread;
class QTimer;

namespace vesk {

class InboxScanner;

class InboxWatcher : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QStringList& paths)>;
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

private:
    QString m_inboxPath;
    Handler m_handler;
    QThread* m_thread = nullptr;
    InboxScanner* m_scanner = nullptr;
};

// The watcher's worker; lives on the watcher's own thread.
class InboxScanner : public QObject {
    Q_OBJECT
public:
    InboxScanner(QString inboxPath, InboxWatcher::Timing timing);

    void start();
    // One listing; public for the watcher's thread only.
    void scan();

signals:
    void filesReady(const QStringList& paths);

private:
    void scheduleScan(int delayMs);

    QString m_inboxPath;
    InboxWatcher::Timing m_timing;
    QTimer* m_debounce = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QHash<QString, FileStamp> m_previous;
};

} // namespace vesk
