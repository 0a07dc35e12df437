#include "intake/InboxWatcher.h"

#include "intake/FileStability.h"
#include "platform/Log.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace vesk {

InboxWatcher::InboxWatcher(const QString& inboxPath, Handler handler, Timing timing, QObject* parent)
    : QObject(parent), m_inboxPath(QDir::cleanPath(inboxPath)), m_handler(std::move(handler))
{
    if (!QDir().mkpath(m_inboxPath))
        veskLog(QStringLiteral("Vesk Inbox create error: could not create ") + m_inboxPath);

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("InboxWatcher"));
    m_scanner = new InboxScanner(m_inboxPath, timing);
    m_scanner->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_scanner, &QObject::deleteLater);
    // Queued to this object's thread: the handler runs where the watcher was made.
    connect(m_scanner, &InboxScanner::filesReady, this, [this](const QStringList& paths) {
        if (m_handler)
            m_handler(paths);
    });
    m_thread->start();
    QMetaObject::invokeMethod(m_scanner, &InboxScanner::start, Qt::QueuedConnection);
}

InboxWatcher::~InboxWatcher()
{
    m_thread->quit();
    m_thread->wait();
}

InboxScanner::InboxScanner(QString inboxPath, InboxWatcher::Timing timing)
    : m_inboxPath(std::move(inboxPath)), m_timing(timing)
{
}

void InboxScanner::start()
{
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    connect(m_debounce, &QTimer::timeout, this, &InboxScanner::scan);
    m_watcher = new QFileSystemWatcher(this);
    if (!m_watcher->addPath(m_inboxPath))
        veskLog(QStringLiteral("Vesk Inbox could not open directory for watching."));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this,
            [this] { scheduleScan(m_timing.debounceMs); });
    // Each write to a file already listed changes its time but not the folder; watching the files
    // too keeps a slow writer's scans coming until it stops.
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { scheduleScan(m_timing.debounceMs); });
    scheduleScan(m_timing.firstScanMs);
}

void InboxScanner::scheduleScan(int delayMs)
{
    m_debounce->start(delayMs);
}

void InboxScanner::scan()
{
    const QStringList names = QDir(m_inboxPath).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    QHash<QString, FileStamp> current;
    QList<std::pair<QString, FileStamp>> stable;
    bool waiting = false;
    for (const QString& name : names) {
        if (name.startsWith(QLatin1Char('.')))
            continue;
        const QString path = m_inboxPath + QLatin1Char('/') + name;
        const std::optional<FileStamp> stamp = regularFileStamp(path);
        if (!stamp)
            continue;
        current.insert(path, *stamp);
        const auto previous = m_previous.constFind(path);
        if (previous != m_previous.constEnd() && *previous == *stamp) {
            stable.append({path, *stamp});
        } else {
            waiting = true;
        }
    }
    m_previous = std::move(current);

    const QStringList watched = m_watcher->files();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    if (!m_previous.isEmpty())
        m_watcher->addPaths(m_previous.keys());
    // A file seen for the first time, or changed since, is looked at again once things are quiet.
    if (waiting && !m_debounce->isActive())
        scheduleScan(m_timing.debounceMs);

    if (stable.isEmpty())
        return;
    std::stable_sort(stable.begin(), stable.end(),
                     [](const auto& a, const auto& b) { return a.second.modifiedNs < b.second.modifiedNs; });
    QStringList paths;
    for (const auto& entry : std::as_const(stable))
        paths.append(entry.first);
    emit filesReady(paths);
}

} // namespace vesk
