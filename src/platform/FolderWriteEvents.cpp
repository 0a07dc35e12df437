#include "platform/FolderWriteEvents.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace vesk {

namespace {

constexpr uint32_t kMask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE
    | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool isAtOrBelow(const QString& path, const QString& folder)
{
    return path.size() == folder.size() ? path == folder
                                        : path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/');
}

} // namespace

FolderWriteEvents::FolderWriteEvents(QObject* parent) : QObject(parent)
{
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

bool FolderWriteEvents::isBeingWritten(const QString& path) const
{
    const QString clean = QDir::cleanPath(path);
    for (const QString& written : m_beingWritten) {
        if (isAtOrBelow(written, clean))
            return true;
    }
    return false;
}

void FolderWriteEvents::forgetBelow(const QString& folder)
{
    for (auto it = m_beingWritten.begin(); it != m_beingWritten.end();) {
        if (isAtOrBelow(*it, folder))
            it = m_beingWritten.erase(it);
        else
            ++it;
    }
}

void FolderWriteEvents::readEvents(bool announce)
{
    if (m_fd < 0)
        return;
    bool changed = false;
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
                m_beingWritten.clear();
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
                changed = true;
                continue;
            }
            const QString path = event->len > 0 ? folder + QLatin1Char('/') + QFile::decodeName(event->name) : folder;
            if (event->mask & IN_MODIFY) {
                if (!(event->mask & IN_ISDIR))
                    m_beingWritten.insert(path);
                continue;
            }
            if (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE))
                forgetBelow(path);
            changed = true;
        }
    }
    if (changed && announce)
        emit this->changed();
}

} // namespace vesk
