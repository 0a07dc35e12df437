#include "intake/InboxWatcher.h"

#include "intake/FileStability.h"
#include "platform/FolderWriteEvents.h"
#include "platform/Log.h"

#include <QDir>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace vesk {

InboxWatcher::InboxWatcher(const QString& inboxPath, Handler handler, Timing timing, QObject* parent)
    : QObject(parent), m_inboxPath(QDir::cleanPath(inboxPath)), m_handler(std::move(handler)), m_timing(timing)
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

void InboxWatcher::scanSoon()
{
    QMetaObject::invokeMethod(m_scanner, [scanner = m_scanner, delay = m_timing.debounceMs] {
        scanner->scheduleScan(delay);
    }, Qt::QueuedConnection);
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
    m_events = new FolderWriteEvents(this);
    m_watching = m_events->watch(m_inboxPath);
    if (!m_watching)
        veskLog(QStringLiteral("Vesk Inbox could not open directory for watching."));
    // A file's writer closing it is announced too, so a file left open is looked at again then.
    connect(m_events, &FolderWriteEvents::changed, this, [this] { scheduleScan(m_timing.debounceMs); });
    m_writers.emplace(m_inboxPath, m_watching ? m_events : nullptr);
    scheduleScan(m_timing.firstScanMs);
}

void InboxScanner::scheduleScan(int delayMs)
{
    m_debounce->start(delayMs);
}

void InboxScanner::scan()
{
    m_writers->beginScan();
    const QStringList names = QDir(m_inboxPath).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    QHash<QString, FileStamp> current;
    QList<std::pair<QString, FileStamp>> stable;
    bool waiting = false;
    bool held = false;
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
            // A writer that pauses leaves size and time alone: only its open file tells.
            if (m_writers->isBeingWritten(path))
                held = true;
            else
                stable.append({path, *stamp});
        } else {
            waiting = true;
        }
    }
    m_previous = std::move(current);

    // A file seen for the first time, or changed since, is looked at again once things are quiet;
    // one still open, once its writer closes it, which the folder's events tell (without them,
    // it is looked at again as often).
    if ((waiting || (held && !m_watching)) && !m_debounce->isActive())
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
