#include "intake/InboxWatcher.h"

#include "intake/FileStability.h"
#include "intake/InboxEntryCheck.h"
#include "intake/ManagedStorage.h"
#include "platform/FolderWriteEvents.h"
#include "platform/Log.h"
#include "platform/OpenFileWriters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <limits>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vesk {

namespace {

// How often the library's disk is looked at while a file waits for room there.
constexpr qint64 kRoomLookMs = 2000;

qint64 steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

InboxWatcher::InboxWatcher(const QString& inboxPath, Handler handler, Timing timing, QObject* parent)
    : QObject(parent), m_inboxPath(QDir::cleanPath(inboxPath)), m_handler(std::move(handler)), m_timing(timing)
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("InboxWatcher"));
    m_scanner = new InboxScanner(m_inboxPath, timing);
    m_scanner->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_scanner, &QObject::deleteLater);
    // Queued to this object's thread: the handler runs where the watcher was made.
    connect(m_scanner, &InboxScanner::filesReady, this, [this](const QList<QByteArray>& paths, const QList<QByteArray>& stamps) {
        if (m_stampedHandler)
            m_stampedHandler(paths, stamps);
        else if (m_handler)
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

void InboxWatcher::noteNotTaken(const QByteArray& nativePath)
{
    QMetaObject::invokeMethod(m_scanner, [scanner = m_scanner, nativePath] { scanner->noteNotTaken(nativePath); },
                              Qt::QueuedConnection);
}

InboxWatcher::~InboxWatcher()
{
    m_thread->quit();
    m_thread->wait();
}

InboxScanner::InboxScanner(QString inboxPath, InboxWatcher::Timing timing)
    : m_inboxPath(std::move(inboxPath)), m_timing(timing), m_writersLook(&filesOpenForWriting)
{
    m_itemsFolder = QFileInfo(m_inboxPath).path() + QStringLiteral("/Items");
}

void InboxScanner::start()
{
    // Made here, on the watcher's own thread: a disk slow to answer holds up no window.
    if (!QDir().mkpath(m_inboxPath))
        veskLog(QStringLiteral("Vesk Inbox create error: could not create ") + m_inboxPath);
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    connect(m_debounce, &QTimer::timeout, this, &InboxScanner::scan);
    m_lookAgain = new QTimer(this);
    m_lookAgain->setSingleShot(true);
    connect(m_lookAgain, &QTimer::timeout, this, &InboxScanner::scan);
    m_events = new FolderWriteEvents(this);
    m_watching = m_events->watch(m_inboxPath);
    if (!m_watching)
        veskLog(QStringLiteral("Vesk Inbox could not open directory for watching."));
    // A file's writer closing it is announced too, so a file left open is looked at again then.
    connect(m_events, &FolderWriteEvents::changed, this, [this] { scheduleScan(m_timing.debounceMs); });
    m_writers.emplace(m_watching ? m_events : nullptr);
    // What is there already was opened, and maybe is still written, before anyone watched.
    if (DIR* listing = ::opendir(QFile::encodeName(m_inboxPath).constData())) {
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] != '.')
                m_arrivedUnseen.insert(QFile::encodeName(m_inboxPath) + '/' + entry->d_name);
        }
        ::closedir(listing);
    }
    scheduleScan(m_timing.firstScanMs);
}

void InboxScanner::scheduleScan(int delayMs)
{
    m_debounce->start(delayMs);
}

InboxScanner::Room InboxScanner::roomNow() const
{
    Room room;
    // "Items" may not be made yet: then its parent is where it would be made.
    QString folder = m_itemsFolder;
    if (!QFileInfo(folder).isDir())
        folder = QFileInfo(folder).path();
    const QByteArray native = QFile::encodeName(folder);
    struct statvfs disk {};
    if (::statvfs(native.constData(), &disk) == 0) {
        const qint64 unit = qint64(disk.f_frsize ? disk.f_frsize : disk.f_bsize);
        room.freeBytes = qint64(disk.f_bavail) * unit;
        if (disk.f_files > 0)
            room.freeInodes = qint64(disk.f_favail);
        m_diskBytes = qint64(disk.f_blocks) * unit;
    }
    // A file that was kept but could not be removed waits for the Inbox to become writable.
    room.writable = ::access(native.constData(), W_OK) == 0
        && ::access(QFile::encodeName(m_inboxPath).constData(), W_OK) == 0;
    return room;
}

bool InboxScanner::isShortOfRoom(const Room& room, qint64 bytes) const
{
    return !room.writable || (room.freeBytes >= 0 && room.freeBytes < roomNeededForCopy(bytes, m_diskBytes))
        || (room.freeInodes >= 0 && room.freeInodes < 2);
}

void InboxScanner::noteNotTaken(const QByteArray& nativePath)
{
    const std::optional<FileStamp> stamp = regularFileStamp(nativePath);
    if (!stamp) {
        m_notTaken.remove(nativePath);
        return;
    }
    const qint64 now = steadyNowMs();
    NotTaken& entry = m_notTaken[nativePath];
    // Changed since it last failed: this is a first failure of what it holds now.
    if (entry.stamp != *stamp)
        entry.backoff.reset();
    entry.stamp = *stamp;
    entry.offered = false;
    entry.backoff.noteFailure(now);
    entry.roomShort = isShortOfRoom(roomNow(), stamp->size);
    armLookAgain(now, std::numeric_limits<qint64>::max());
}

bool InboxScanner::mayOfferAgain(const QByteArray& path, const FileStamp& stamp, const Room& room, qint64 now)
{
    const auto entry = m_notTaken.find(path);
    if (entry == m_notTaken.end())
        return true;
    if (entry->stamp != stamp) {
        m_notTaken.erase(entry);
        return true;
    }
    if (entry->offered)
        return false;
    const bool roomBack = entry->roomShort && !isShortOfRoom(room, stamp.size);
    if (!roomBack && !entry->backoff.isDue(now))
        return false;
    entry->offered = true;
    return true;
}

bool InboxScanner::isQuietLongEnough(const FileStamp& stamp, qint64 sinceMs, qint64 now, qint64& endsAt) const
{
    // Held still as long by its own time (a file left there long ago), or since first seen so
    // (a modification time in the future says nothing).
    const qint64 sinceModifiedMs = QDateTime::currentMSecsSinceEpoch() - stamp.modifiedNs / 1'000'000;
    if (sinceModifiedMs >= m_timing.unseenQuietMs || now - sinceMs >= m_timing.unseenQuietMs)
        return true;
    const qint64 byModified = sinceModifiedMs >= 0 ? now + (m_timing.unseenQuietMs - sinceModifiedMs)
                                                   : std::numeric_limits<qint64>::max();
    endsAt = std::min({endsAt, sinceMs + m_timing.unseenQuietMs, byModified});
    return false;
}

void InboxScanner::armLookAgain(qint64 now, qint64 quietEndsAt)
{
    qint64 next = quietEndsAt;
    for (const NotTaken& entry : std::as_const(m_notTaken)) {
        if (entry.offered)
            continue;
        next = std::min(next, entry.backoff.nextTryMs());
        if (entry.roomShort)
            next = std::min(next, now + kRoomLookMs);
    }
    if (next == std::numeric_limits<qint64>::max()) {
        m_lookAgain->stop();
        return;
    }
    m_lookAgain->start(int(std::clamp<qint64>(next - now, 0, std::numeric_limits<int>::max())));
}

void InboxScanner::scan()
{
    m_writers->beginScan();
    const qint64 now = steadyNowMs();
    const QByteArray inbox = QFile::encodeName(m_inboxPath);
    QHash<QByteArray, Seen> current;
    QList<std::pair<QByteArray, FileStamp>> settled;
    bool waiting = false;
    bool held = false;
    // Held by a writer only the processes show: its close may come under another name, which
    // the folder's events do not tell.
    bool heldUnseen = false;
    qint64 quietEndsAt = std::numeric_limits<qint64>::max();
    std::optional<Room> room;
    // Listed as bytes: a name that is not UTF-8 would not lead back to its file as a text.
    if (DIR* listing = ::opendir(inbox.constData())) {
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] == '.')
                continue;
            const QByteArray path = inbox + '/' + entry->d_name;
            const std::optional<FileStamp> stamp = regularFileStamp(path);
            if (!stamp)
                continue;
            const auto previous = m_previous.constFind(path);
            const bool same = previous != m_previous.constEnd() && previous->stamp == *stamp;
            current.insert(path, Seen{*stamp, same ? previous->sinceMs : now});
            // Without the folder's events, nobody saw who opened it.
            if (!m_watching && previous == m_previous.constEnd())
                m_arrivedUnseen.insert(path);
            if (!same) {
                waiting = true;
                // Changed while watched: the events saw its writer write, and hold it until the
                // close.
                if (m_watching && previous != m_previous.constEnd())
                    m_arrivedUnseen.remove(path);
            } else if (m_writers->isWrittenByEvents(QFile::decodeName(path))) {
                held = true; // a writer that pauses leaves size and time alone
                // Its writer is known now: its close says when it is done.
                if (m_watching)
                    m_arrivedUnseen.remove(path);
            } else if (m_arrivedUnseen.contains(path)
                       && !isQuietLongEnough(*stamp, current.value(path).sinceMs, now, quietEndsAt)) {
                continue;
            } else {
                if (m_notTaken.contains(path)) {
                    if (!room)
                        room = roomNow();
                    if (!mayOfferAgain(path, *stamp, *room, now))
                        continue;
                }
                settled.append({path, *stamp});
            }
        }
        ::closedir(listing);
    }
    m_previous = std::move(current);
    m_notTaken.removeIf([&](const auto& entry) { return !m_previous.contains(entry.key()); });
    m_arrivedUnseen.removeIf([&](const QByteArray& path) { return !m_previous.contains(path); });

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
            // Not offered after all: its wait goes on.
            if (const auto notTaken = m_notTaken.find(entry.first); notTaken != m_notTaken.end())
                notTaken->offered = false;
            return true;
        });
    }
    for (const auto& entry : std::as_const(settled))
        m_arrivedUnseen.remove(entry.first);

    // A file seen for the first time, or changed since, is looked at again once things are quiet;
    // one still open, once its writer closes it, which the folder's events tell (without them,
    // or when they cannot tell, it is looked at again as often). A writer only the processes
    // show is looked for less and less often: each look reads every process's open files.
    int delay = m_timing.debounceMs;
    if (heldUnseen) {
        m_unseenWriterBackoff.noteFailure(now);
        if (m_unseenWriterBackoff.failures() > 1)
            delay = int(std::max<qint64>(delay, m_unseenWriterBackoff.delayMs()));
    } else {
        m_unseenWriterBackoff.reset();
    }
    if ((waiting || heldUnseen || (held && !m_watching)) && !m_debounce->isActive())
        scheduleScan(waiting ? m_timing.debounceMs : delay);
    armLookAgain(now, quietEndsAt);

    if (settled.isEmpty())
        return;
    std::stable_sort(settled.begin(), settled.end(),
                     [](const auto& a, const auto& b) { return a.second.modifiedNs < b.second.modifiedNs; });
    QList<QByteArray> paths;
    QList<QByteArray> stamps;
    for (const auto& entry : std::as_const(settled)) {
        paths.append(entry.first);
        stamps.append(entryTreeStamp(entry.first));
    }
    emit filesReady(paths, stamps);
}

} // namespace vesk
