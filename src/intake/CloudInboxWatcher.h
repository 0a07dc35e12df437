#pragma once
// Watches the synced phone inbox without holding up the thread that made it: the folder's events,
// the scans that walk its entries and the look at which files processes write all run on a
// thread of the watcher's own (CloudInboxScanner says what is taken when). The handler and the
// refusal handler are called on the thread that made the watcher.

#include "intake/CloudInboxScanner.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QThread;

namespace vesk {

class CloudInboxWatcher : public QObject {
    Q_OBJECT
public:
    using Handler = CloudInboxScanner::Handler;
    using StampedHandler = CloudInboxScanner::StampedHandler;
    using RefusalHandler = CloudInboxScanner::RefusalHandler;
    using Timing = CloudInboxScanner::Timing;
    using WritersLook = CloudInboxScanner::WritersLook;

    CloudInboxWatcher(const QString& syncedFolder, Handler handler, Timing timing, QObject* parent = nullptr);
    CloudInboxWatcher(const QString& syncedFolder, Handler handler, QObject* parent = nullptr)
        : CloudInboxWatcher(syncedFolder, std::move(handler), Timing{}, parent) {}
    // Stops the scans and waits for the one running, if any.
    ~CloudInboxWatcher() override;

    void setRefusalHandler(RefusalHandler handler) { m_refusalHandler = std::move(handler); }
    // In place of the handler, with each entry's stamp read on the scans' thread; set on the
    // creating thread before control returns to its loop.
    void setStampedHandler(StampedHandler handler) { m_stampedHandler = std::move(handler); }
    // Who looks at the processes' open files; called on the scans' thread.
    void setWritersLook(WritersLook look);
    // The handler could not finish with the entry at path: it is not offered again until
    // something in it changes.
    void leaveAloneUntilChanged(const QString& path);
    // The handler could not import the entry at path: see CloudInboxScanner::retryLater.
    void retryLater(const QString& path);
    void retryFailedNow();

signals:
    // From the scans' thread; queued to this one.
    void entriesReady(const QStringList& paths, const QList<QByteArray>& stamps, const QList<bool>& folders);
    void entryRefused(const QString& path, const QString& reason);

private:
    Handler m_handler;
    StampedHandler m_stampedHandler;
    RefusalHandler m_refusalHandler;
    QThread* m_thread = nullptr;
    CloudInboxScanner* m_scanner = nullptr;
};

} // namespace vesk
