#pragma once
// Watches "Documents/VeskInbox" in the synced folder the phone companion writes to. Entries lying
// directly in it (note packages, activity packages, other files) are handed to the handler once
// everything they need has arrived: each file present and unchanged in size and time since the
// previous scan. Scans run on folder changes, on a poll, and soon after a scan that found
// something incomplete. Runs on the thread that made it; it never touches a file.

#include "intake/FileStability.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <functional>

class QFileSystemWatcher;
class QTimer;

namespace vesk {

class CloudInboxWatcher : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QStringList& paths)>;
    struct Timing {
        int pollMs = 2000;
        int retryMs = 800;
    };

    CloudInboxWatcher(const QString& syncedFolder, Handler handler, Timing timing, QObject* parent = nullptr);
    CloudInboxWatcher(const QString& syncedFolder, Handler handler, QObject* parent = nullptr)
        : CloudInboxWatcher(syncedFolder, std::move(handler), Timing{}, parent) {}

    // Empty until configured, and for good when the synced folder does not exist.
    QString inboxPath() const { return m_inboxPath; }

    void scan();

    // Readiness of one package folder, with the stamps of the scans so far.
    bool isNotePackageReady(const QString& package);
    bool isActivityPackageReady(const QString& package);

private:
    void configure(const QString& syncedFolder);

    Handler m_handler;
    Timing m_timing;
    QString m_inboxPath;
    StabilityTracker m_stability;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_poll = nullptr;
    QTimer* m_retry = nullptr;
    QElapsedTimer m_lastScan;
};

} // namespace vesk
