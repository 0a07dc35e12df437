#include "intake/InboxWatcher.h"

#include "intake/FileStability.h"
#include "platform/FolderWriteEvents.h"
#include "platform/Log.h"
#include "platform/OpenFileWriters.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <dirent.h>

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
    connect(m_scanner, &InboxScanner::filesReady, this, [this](const QList<QByteArray>& paths) {
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
    : m_inboxPath(std::move(inboxPath)), m_timing(timing), m_writersLook(&filesOpenForWriting)
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
    m_writers.emplace(m_watching ? m_events : nullptr);
    scheduleScan(m_timing.firstScanMs);
}

void InboxScanner::scheduleScan(int delayMs)
{
    m_debounce->start(delayMs);
}

void InboxScanner::scan()
{
    m_writers->beginScan();
    const QByteArray inbox = QFile::encodeName(m_inboxPath);
    QHash<QByteArray, FileStamp> current;
    QList<std::pair<QByteArray, FileStamp>> settled;
    bool waiting = false;
    bool held = false;
    // Held by a writer only the processes show: its close may come under another name, which
    // the folder's events do not tell.
    bool heldUnseen = false;
    // Listed as bytes: a name that is not UTF-8 would not lead back to its file as a text.
    if (DIR* listing = ::opendir(inbox.constData())) {
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] == '.')
                continue;
            const QByteArray path = inbox + '/' + entry->d_name;
            const std::optional<FileStamp> stamp = regularFileStamp(path);
            if (!stamp)
                continue;
            current.insert(path, *stamp);
            const auto previous = m_previous.constFind(path);
            if (previous == m_previous.constEnd() || *previous != *stamp)
                waiting = true;
            else if (m_writers->isWrittenByEvents(QFile::decodeName(path)))
                held = true; // a writer that pauses leaves size and time alone
            else
                settled.append({path, *stamp});
        }
        ::closedir(listing);
    }
    m_previous = std::move(current);

    // The processes are asked once for all the files that held still, by identity: a file in the
    // Inbox may be written under another name too.
    if (!settled.isEmpty()) {
        QHash<QByteArray, FileIdentity> identities;
        QSet<FileIdentity> asked;
        for (const auto& entry : std::as_const(settled)) {
            if (const std::optional<FileIdentity> identity = fileIdentity(entry.first)) {
                identities.insert(entry.first, *identity);
                asked.insert(*identity);
            }
        }
        const QSet<FileIdentity> writing = m_writersLook(asked);
        settled.removeIf([&](const auto& entry) {
            const auto identity = identities.constFind(entry.first);
            if (identity == identities.cend() || !writing.contains(*identity))
                return false;
            heldUnseen = true;
            return true;
        });
    }

    // A file seen for the first time, or changed since, is looked at again once things are quiet;
    // one still open, once its writer closes it, which the folder's events tell (without them,
    // or when they cannot tell, it is looked at again as often).
    if ((waiting || heldUnseen || (held && !m_watching)) && !m_debounce->isActive())
        scheduleScan(m_timing.debounceMs);

    if (settled.isEmpty())
        return;
    std::stable_sort(settled.begin(), settled.end(),
                     [](const auto& a, const auto& b) { return a.second.modifiedNs < b.second.modifiedNs; });
    QList<QByteArray> paths;
    for (const auto& entry : std::as_const(settled))
        paths.append(entry.first);
    emit filesReady(paths);
}

} // namespace vesk
