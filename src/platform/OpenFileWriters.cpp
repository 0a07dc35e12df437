#include "platform/OpenFileWriters.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// What the fdinfo of one open file says: whether it is open for writing, and its inode number
// where the kernel gives it.
struct OpenFileInfo {
    bool writing = false;
    std::optional<quint64> inode;
};

std::optional<quint64> numberAfter(const char* text, const char* key, int base)
{
    const char* at = std::strstr(text, key);
    if (!at)
        return std::nullopt;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(at + std::strlen(key), &end, base);
    if (end == at + std::strlen(key))
        return std::nullopt;
    return quint64(value);
}

std::optional<OpenFileInfo> readOpenFileInfo(int fdinfoFolder, const char* fd)
{
    const int file = ::openat(fdinfoFolder, fd, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    char text[512];
    const ssize_t length = ::read(file, text, sizeof text - 1);
    ::close(file);
    if (length <= 0)
        return std::nullopt;
    text[length] = '\0';
    const std::optional<quint64> flags = numberAfter(text, "flags:", 8);
    if (!flags)
        return std::nullopt;
    const quint64 mode = *flags & O_ACCMODE;
    return OpenFileInfo{mode == O_WRONLY || mode == O_RDWR, numberAfter(text, "\nino:", 10)};
}

// The identity of an open file through its /proc link. Attributes the kernel already holds are
// enough, so a file system is never asked to refresh them.
std::optional<FileIdentity> openFileIdentity(const QByteArray& link)
{
    struct statx info {};
    if (::statx(AT_FDCWD, link.constData(), AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT, STATX_INO, &info) != 0)
        return std::nullopt;
    return FileIdentity{quint64(makedev(info.stx_dev_major, info.stx_dev_minor)), quint64(info.stx_ino)};
}

enum class Access { Any, Writing };

QSet<FileIdentity> filesOpenWith(Access access, const QSet<FileIdentity>& files)
{
    QSet<FileIdentity> found;
    if (files.isEmpty())
        return found;
    QSet<quint64> inodes;
    for (const FileIdentity& file : files)
        inodes.insert(file.inode);

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
        char target[8];
        while (const dirent* fd = ::readdir(fds)) {
            if (!isNumber(fd->d_name))
                continue;
            // Only the first byte matters: a file has a path; a pipe, socket or anonymous
            // inode has none.
            const ssize_t length = ::readlinkat(::dirfd(fds), fd->d_name, target, sizeof target);
            if (length <= 0 || target[0] != '/')
                continue;
            if (fdinfo < 0)
                fdinfo = ::open((base + "/fdinfo").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fdinfo < 0)
                break;
            const std::optional<OpenFileInfo> info = readOpenFileInfo(fdinfo, fd->d_name);
            if (!info || (access == Access::Writing && !info->writing) || (info->inode && !inodes.contains(*info->inode)))
                continue;
            const std::optional<FileIdentity> identity = openFileIdentity(base + "/fd/" + fd->d_name);
            if (identity && files.contains(*identity))
                found.insert(*identity);
        }
        if (fdinfo >= 0)
            ::close(fdinfo);
        ::closedir(fds);
    }
    ::closedir(processes);
    return found;
}

} // namespace

std::optional<FileIdentity> fileIdentity(const QByteArray& nativePath)
{
    struct stat info {};
    if (::lstat(nativePath.constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

QSet<FileIdentity> filesOpenForWriting(const QSet<FileIdentity>& files)
{
    return filesOpenWith(Access::Writing, files);
}

QSet<FileIdentity> filesOpen(const QSet<FileIdentity>& files)
{
    return filesOpenWith(Access::Any, files);
}

} // namespace vesk
