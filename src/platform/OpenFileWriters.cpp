#include "platform/OpenFileWriters.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace vesk {

namespace {

bool isNumber(const char* name)
{
    if (!*name)
        return false;
    for (; *name; ++name) {
        if (!std::isdigit(static_cast<unsigned char>(*name)))
            return false;
    }
    return true;
}

// The access mode of one open file, from the "flags:" line (octal) of its fdinfo.
bool openForWriting(int fdinfoFolder, const char* fd)
{
    const int file = ::openat(fdinfoFolder, fd, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    char text[512];
    const ssize_t length = ::read(file, text, sizeof text - 1);
    ::close(file);
    if (length <= 0)
        return false;
    text[length] = '\0';
    const QByteArray info(text, length);
    const qsizetype at = info.indexOf("flags:");
    if (at < 0)
        return false;
    const long flags = std::strtol(text + at + 6, nullptr, 8);
    const long mode = flags & O_ACCMODE;
    return mode == O_WRONLY || mode == O_RDWR;
}

} // namespace

QSet<QString> filesOpenForWriting(const QString& folder)
{
    QSet<QString> found;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return found;
    const QByteArray root = QFile::encodeName(canonical);
    const QByteArray prefix = root == "/" ? root : root + '/';

    DIR* processes = ::opendir("/proc");
    if (!processes)
        return found;
    while (const dirent* process = ::readdir(processes)) {
        if (!isNumber(process->d_name))
            continue;
        const QByteArray base = QByteArray("/proc/") + process->d_name;
        // Processes of other users cannot be read, and processes end while they are looked at.
        DIR* fds = ::opendir((base + "/fd").constData());
        if (!fds)
            continue;
        int fdinfo = -1;
        char target[4096];
        while (const dirent* fd = ::readdir(fds)) {
            if (!isNumber(fd->d_name))
                continue;
            const ssize_t length = ::readlinkat(::dirfd(fds), fd->d_name, target, sizeof target);
            if (length <= 0 || length >= ssize_t(sizeof target))
                continue;
            const QByteArray link(target, length);
            if (!link.startsWith(prefix) || link.size() == prefix.size())
                continue;
            if (fdinfo < 0)
                fdinfo = ::open((base + "/fdinfo").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fdinfo >= 0 && openForWriting(fdinfo, fd->d_name))
                found.insert(QFile::decodeName(link.mid(prefix.size())));
        }
        if (fdinfo >= 0)
            ::close(fdinfo);
        ::closedir(fds);
    }
    ::closedir(processes);
    return found;
}

} // namespace vesk
