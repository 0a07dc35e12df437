#include "platform/FolderWriteEvents.h"

#include "platform/OpenFileWriters.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

constexpr uint32_t kMask = IN_CREATE | IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_MOVED_TO
    | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool isAtOrBelow(const QString& path, const QString& folder)
{
    return path.size() == folder.size() ? path == folder
                                        : path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/');
}

// A regular file with this one name: made by an open that creates it, whose writer has yet to
// close it. A second name of a file made elsewhere (a hard link) has no writer here.
bool isNewFile(const QByteArray& nativePath)
{
    struct stat info {};
    return ::lstat(nativePath.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
}

bool isEmptyFile(const QByteArray& nativePath)
{
    struct stat info {};
    return ::lstat(nativePath.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0;
}

} // namespace

FolderWriteEvents::FolderWriteEvents(Holding holding, QObject* parent) : QObject(parent), m_holding(std::move(holding))
{
    m_holdTimer = new QTimer(this);
    m_holdTimer->setSingleShot(true);
    connect(m_holdTimer, &QTimer::timeout, this, &FolderWriteEvents::endLapsedHolds);
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readEvents(true); });
}

FolderWriteEvents::~FolderWriteEvents()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 FolderWriteEvents::now() const
{
    if (m_holding.nowMs)
        return m_holding.nowMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool FolderWriteEvents::watch(const QString& folder)
{
    const QString clean = QDir::cleanPath(folder);
    if (m_watches.contains(clean))
        return true;
    if (m_fd < 0)
        return false;
    const int wd = ::inotify_add_watch(m_fd, QFile::encodeName(clean).constData(), kMask);
    if (wd < 0)
        return false;
    // A folder that replaced one watched before under another name gets the same descriptor.
    if (const QString earlier = m_folders.value(wd); !earlier.isEmpty())
        m_watches.remove(earlier);
    m_folders.insert(wd, clean);
    m_watches.insert(clean, wd);
    return true;
}

bool FolderWriteEvents::watch(const QString& folder, FollowNewSubfolder follow)
{
    if (!watch(folder))
        return false;
    m_follow.insert(QDir::cleanPath(folder), std::move(follow));
    return true;
}

void FolderWriteEvents::followNewSubfolder(const QString& parent, const QString& subfolder)
{
    const auto follow = m_follow.constFind(parent);
    if (follow == m_follow.cend() || !(*follow)(subfolder))
        return;
    // Whatever is made below it from now on is reported; what was made in it before this watch
    // (a writer quicker than the event) is found by the listing.
    if (!watch(subfolder, [](const QString&) { return true; }))
        return;
    QDir listing(subfolder);
    for (const QString& name : listing.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        followNewSubfolder(subfolder, subfolder + QLatin1Char('/') + name);
}

bool FolderWriteEvents::isHeld(const QString& path, const Activity& activity, qint64 now) const
{
    if (activity.written)
        return true;
    if (activity.opens == 0 && !activity.created)
        return false;
    // An empty file costs nothing to keep waiting, and taken it would be lost to the writer that
    // opened it and has yet to write its first byte: it is held until the close.
    return now - activity.lastEventMs < m_holding.openHoldMs || isEmptyFile(QFile::encodeName(path));
}

bool FolderWriteEvents::isBeingWritten(const QString& path) const
{
    const QString clean = QDir::cleanPath(path);
    const qint64 at = now();
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        if (isAtOrBelow(it.key(), clean) && isHeld(it.key(), *it, at))
            return true;
    }
    return false;
}

void FolderWriteEvents::forgetBelow(const QString& folder)
{
    m_files.removeIf([&](const auto& entry) { return isAtOrBelow(entry.key(), folder); });
    m_born.removeIf([&](const QString& path) { return isAtOrBelow(path, folder); });
}

void FolderWriteEvents::readEvents(bool announce)
{
    if (m_fd < 0)
        return;
    ++m_reads;
    const qint64 at = now();
    bool changed = false;
    // A file moved from one watched name to another keeps what is known of it.
    QHash<uint32_t, Activity> moving;
    QSet<uint32_t> movingBorn;
    QSet<QString> closedWithOpensLeft;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // What was being written is no longer known; the processes are asked instead.
                m_files.clear();
                m_born.clear();
                changed = true;
                continue;
            }
            const QString folder = m_folders.value(event->wd);
            if (folder.isEmpty())
                continue;
            if (event->mask & IN_IGNORED) {
                forgetBelow(folder);
                m_folders.remove(event->wd);
                m_watches.remove(folder);
                m_follow.remove(folder);
                changed = true;
                continue;
            }
            const QString path = event->len > 0 ? folder + QLatin1Char('/') + QFile::decodeName(event->name) : folder;
            const bool isFolder = event->mask & IN_ISDIR;
            if (event->mask & (IN_OPEN | IN_CLOSE_NOWRITE | IN_MODIFY)) {
                // Folders are opened to be listed (by this process's scans too) and say nothing
                // of a file's writer.
                if (isFolder)
                    continue;
                if (event->mask & IN_OPEN) {
                    Activity& activity = m_files[path];
                    ++activity.opens;
                    activity.lastEventMs = at;
                    activity.openedInRead = m_reads;
                } else if (event->mask & IN_MODIFY) {
                    Activity& activity = m_files[path];
                    activity.written = true;
                    activity.lastEventMs = at;
                } else if (const auto it = m_files.find(path); it != m_files.end()) {
                    const bool wasHeld = isHeld(path, *it, at);
                    it->opens = std::max(0, it->opens - 1);
                    it->created = false;
                    it->lastEventMs = at;
                    // Announced only when the hold was there before this read: a file opened
                    // and closed between two reads (a scan reading a manifest) was never held.
                    if (wasHeld && !isHeld(path, *it, at) && it->openedInRead != m_reads)
                        changed = true;
                    if (it->opens > 0)
                        closedWithOpensLeft.insert(path);
                    if (it->opens == 0 && !it->written)
                        m_files.erase(it);
                }
                continue;
            }
            if (event->mask & IN_CLOSE_WRITE) {
                if (const auto it = m_files.find(path); it != m_files.end()) {
                    it->opens = std::max(0, it->opens - 1);
                    it->created = false;
                    it->written = false;
                    it->lastEventMs = at;
                    if (it->opens == 0)
                        m_files.erase(it);
                    else
                        closedWithOpensLeft.insert(path);
                }
            } else if (event->mask & IN_CREATE) {
                if (isFolder) {
                    followNewSubfolder(folder, path);
                } else if (isNewFile(QFile::encodeName(folder) + '/' + QByteArray(event->name))) {
                    Activity& activity = m_files[path];
                    activity.created = true;
                    activity.lastEventMs = at;
                    activity.openedInRead = m_reads;
                    m_born.insert(path);
                }
            } else if (event->mask & IN_MOVED_FROM) {
                if (const auto it = m_files.constFind(path); it != m_files.cend() && !isFolder)
                    moving.insert(event->cookie, *it);
                if (!isFolder && m_born.contains(path))
                    movingBorn.insert(event->cookie);
                forgetBelow(path);
            } else if (event->mask & IN_MOVED_TO) {
                forgetBelow(path);
                if (const auto it = moving.constFind(event->cookie); it != moving.cend())
                    m_files.insert(path, *it);
                if (movingBorn.contains(event->cookie))
                    m_born.insert(path);
                if (isFolder)
                    followNewSubfolder(folder, path);
            } else if (event->mask & IN_DELETE) {
                forgetBelow(path);
            }
            changed = true;
        }
    }
    if (releaseMergedCloses(closedWithOpensLeft, at))
        changed = true;
    armHoldTimer();
    if (changed && announce)
        emit this->changed();
}

bool FolderWriteEvents::releaseMergedCloses(const QSet<QString>& paths, qint64 at)
{
    // inotify merges an event with the one before it when both are alike and the first is not
    // read yet, so two closes of a file read twice at once can come as one, and the file would
    // look held for the whole bound after both readers closed it. A file of this user that no
    // process holds open any more is closed for good. A file of another user keeps its count:
    // its opener may be one this user cannot look at.
    QHash<QString, FileIdentity> ours;
    for (const QString& path : paths) {
        const auto it = m_files.constFind(path);
        if (it == m_files.cend() || it->written || it->opens == 0)
            continue;
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)
            || info.st_uid != ::geteuid())
            continue;
        ours.insert(path, FileIdentity{quint64(info.st_dev), quint64(info.st_ino)});
    }
    if (ours.isEmpty())
        return false;
    // One look at the processes for the whole read: it costs the same for one file as for many.
    QSet<FileIdentity> asked;
    for (const FileIdentity& identity : std::as_const(ours))
        asked.insert(identity);
    const QSet<FileIdentity> open = m_holding.openFiles ? m_holding.openFiles(asked) : filesOpen(asked);
    bool released = false;
    for (auto entry = ours.cbegin(); entry != ours.cend(); ++entry) {
        if (open.contains(*entry))
            continue;
        const auto it = m_files.find(entry.key());
        released = released || isHeld(entry.key(), *it, at);
        m_files.erase(it);
    }
    return released;
}

void FolderWriteEvents::armHoldTimer()
{
    qint64 earliest = std::numeric_limits<qint64>::max();
    const qint64 at = now();
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        const Activity& activity = *it;
        if (activity.written || (activity.opens == 0 && !activity.created))
            continue;
        const qint64 end = activity.lastEventMs + m_holding.openHoldMs;
        // An empty file past its bound is held until its close, which is an event of its own.
        if (end <= at && isEmptyFile(QFile::encodeName(it.key())))
            continue;
        earliest = std::min(earliest, end);
    }
    if (earliest == std::numeric_limits<qint64>::max()) {
        m_holdTimer->stop();
        return;
    }
    m_holdTimer->start(int(std::clamp<qint64>(earliest - now(), 0, std::numeric_limits<int>::max())));
}

void FolderWriteEvents::endLapsedHolds()
{
    // The events that came meanwhile first: a close among them ends its hold as it should.
    readEvents(true);
    const qint64 at = now();
    bool ended = false;
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (!it->written && (it->opens > 0 || it->created) && !isHeld(it.key(), *it, at)) {
            ended = true;
            it = m_files.erase(it);
        } else {
            ++it;
        }
    }
    armHoldTimer();
    if (ended)
        emit changed();
}

} // namespace vesk
