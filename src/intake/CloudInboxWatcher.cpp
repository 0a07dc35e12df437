#include "intake/CloudInboxWatcher.h"

#include <QThread>

namespace vesk {

CloudInboxWatcher::CloudInboxWatcher(const QString& syncedFolder, Handler handler, Timing timing, QObject* parent)
    : QObject(parent), m_handler(std::move(handler))
{
    // The scanner lives no longer than this object: the destructor ends its thread first.
    m_scanner = new CloudInboxScanner(syncedFolder, {}, timing);
    m_scanner->setStampedHandler(
        [this](const QStringList& paths, const QList<QByteArray>& stamps, const QList<bool>& folders) {
            emit entriesReady(paths, stamps, folders);
        });
    m_scanner->setRefusalHandler(
        [this](const QString& path, const QString& reason) { emit entryRefused(path, reason); });
    connect(this, &CloudInboxWatcher::entriesReady, this, [this](const QStringList& paths, const QList<QByteArray>& stamps,
                                                             const QList<bool>& folders) {
        if (m_stampedHandler)
            m_stampedHandler(paths, stamps, folders);
        else if (m_handler)
            m_handler(paths);
    }, Qt::QueuedConnection);
    connect(this, &CloudInboxWatcher::entryRefused, this, [this](const QString& path, const QString& reason) {
        if (m_refusalHandler)
            m_refusalHandler(path, reason);
    }, Qt::QueuedConnection);
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("CloudInboxWatcher"));
    m_scanner->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_scanner, &QObject::deleteLater);
    m_thread->start();
}

CloudInboxWatcher::~CloudInboxWatcher()
{
    m_thread->quit();
    m_thread->wait();
}

void CloudInboxWatcher::setWritersLook(WritersLook look)
{
    QMetaObject::invokeMethod(m_scanner, [scanner = m_scanner, look = std::move(look)]() mutable {
        scanner->setWritersLook(std::move(look));
    }, Qt::BlockingQueuedConnection);
}

void CloudInboxWatcher::leaveAloneUntilChanged(const QString& path)
{
    QMetaObject::invokeMethod(m_scanner, [scanner = m_scanner, path] { scanner->leaveAloneUntilChanged(path); },
                              Qt::QueuedConnection);
}

void CloudInboxWatcher::retryLater(const QString& path)
{
    QMetaObject::invokeMethod(m_scanner, [scanner = m_scanner, path] { scanner->retryLater(path); },
                              Qt::QueuedConnection);
}

void CloudInboxWatcher::retryFailedNow()
{
    QMetaObject::invokeMethod(m_scanner, [scanner = m_scanner] { scanner->retryFailedNow(); }, Qt::QueuedConnection);
}

} // namespace vesk
