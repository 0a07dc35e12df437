#include "intake/ManagedStorage.h"

#include "platform/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vesk {

namespace {

constexpr size_t kCopyChunk = 1 << 20;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now and reports a failed close: for a written file that can be a lost write.
    int close()
    {
        const int result = m_fd >= 0 ? ::close(m_fd) : 0;
        m_fd = -1;
        return result;
    }
    void reset() { close(); }

private:
    int m_fd;
};

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Copies every byte from in to out, in the kernel when it can (no trip through our memory), else
// through one fixed buffer.
Expected<void, QString> copyBytes(int in, int out)
{
    bool kernelCopy = true;
    while (kernelCopy) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (copied > 0)
            continue;
        if (copied == 0)
            return {};
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP
            || errno == EBADF || errno == ETXTBSY)
            kernelCopy = false; // both offsets stand where the kernel stopped: go on by hand
        else
            return unexpected(systemError(errno));
    }
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        const ssize_t count = ::read(in, buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return unexpected(systemError(errno));
        }
        if (count == 0)
            return {};
        if (!writeAll(out, buffer.data(), size_t(count)))
            return unexpected(systemError(errno));
    }
}

Expected<void, QString> keepTimes(const struct stat& sourceStat, const QString& destination)
{
    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    if (::utimensat(AT_FDCWD, native(destination).constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return unexpected(systemError(errno));
    return {};
}

// Writes destination afresh (it must not exist) with the bytes of the regular file source.
Expected<void, QString> copyRegularFile(const QString& source, const QString& destination)
{
    Descriptor in(::open(native(source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0)
        return unexpected(systemError(errno));
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0)
        return unexpected(systemError(errno));
    if (!S_ISREG(sourceStat.st_mode))
        return unexpected(QStringLiteral("not a regular file"));
    // Reads of a regular file never block; the flag only kept the open from hanging on a pipe.
    ::fcntl(in.get(), F_SETFL, ::fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

    Descriptor out(::open(native(destination).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.get() < 0)
        return unexpected(systemError(errno));
    Expected<void, QString> copied = copyBytes(in.get(), out.get());
    if (copied && out.close() != 0)
        copied = unexpected(systemError(errno));
    if (copied)
        copied = keepTimes(sourceStat, destination);
    if (!copied)
        QFile::remove(destination);
    return copied;
}

// Names in the folder, sorted; "." and ".." left out. Fails when the folder cannot be read, so
// that an unreadable folder never passes for an empty one.
Expected<QStringList, QString> folderEntryNames(const QString& folder)
{
    DIR* handle = ::opendir(native(folder).constData());
    if (!handle)
        return unexpected(systemError(errno));
    QStringList names;
    errno = 0;
    while (const dirent* entry = ::readdir(handle)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(QFile::decodeName(name));
        errno = 0;
    }
    const int readError = errno;
    ::closedir(handle);
    if (readError != 0)
        return unexpected(systemError(readError));
    names.sort();
    return names;
}

// Copies the folder source into the new folder destination with its files and subfolders.
// Symbolic links, pipes, sockets and devices inside it are left out; anything that cannot be
// read fails the whole copy rather than leaving a hole in it.
Expected<void, QString> copyFolder(const QString& source, const QString& destination)
{
    struct stat sourceStat {};
    if (::stat(native(source).constData(), &sourceStat) != 0)
        return unexpected(systemError(errno));
    const Expected<QStringList, QString> names = folderEntryNames(source);
    if (!names)
        return unexpected(source + QStringLiteral(": ") + names.error());
    if (::mkdir(native(destination).constData(), 0755) != 0)
        return unexpected(systemError(errno));

    for (const QString& name : names.value()) {
        const QString path = source + QLatin1Char('/') + name;
        const QString target = destination + QLatin1Char('/') + name;
        struct stat entryStat {};
        if (::lstat(native(path).constData(), &entryStat) != 0)
            return unexpected(path + QStringLiteral(": ") + systemError(errno));
        if (S_ISDIR(entryStat.st_mode)) {
            if (Expected<void, QString> copied = copyFolder(path, target); !copied)
                return copied; // already names what failed inside
        } else if (S_ISREG(entryStat.st_mode)) {
            if (Expected<void, QString> copied = copyRegularFile(path, target); !copied)
                return unexpected(path + QStringLiteral(": ") + copied.error());
        }
    }
    return keepTimes(sourceStat, destination);
}

} // namespace

QString managedItemsDirectoryIn(const QString& dataDirectory)
{
    return QDir::cleanPath(dataDirectory + QStringLiteral("/Items"));
}

Expected<QString, QString> copyIntoManagedStorage(const QString& source, const QString& itemsDirectory,
                                                  const QUuid& id)
{
    const QString cleanSource = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
    const QString name = QFileInfo(cleanSource).fileName();
    if (name.isEmpty())
        return unexpected(QStringLiteral("the path names no file"));
    const QString folder = QDir::cleanPath(itemsDirectory) + QLatin1Char('/') + uuidString(id);
    const QString destination = folder + QLatin1Char('/') + name;

    struct stat sourceStat {};
    if (::stat(native(cleanSource).constData(), &sourceStat) != 0)
        return unexpected(systemError(errno));

    if (!QDir().mkpath(folder))
        return unexpected(QStringLiteral("could not create the folder ") + folder);
    if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink())
        return destination;
    // A folder that holds the managed folder (the home folder, the data folder) would be copied
    // into itself, level after level, until the disk or the path length gives out.
    if (S_ISDIR(sourceStat.st_mode)) {
        const QString realSource = QFileInfo(cleanSource).canonicalFilePath();
        const QString realFolder = QFileInfo(folder).canonicalFilePath();
        if (!realSource.isEmpty() && realFolder.startsWith(realSource + QLatin1Char('/'))) {
            QDir().rmdir(folder);
            return unexpected(QStringLiteral("the folder holds the library's own storage"));
        }
    }

    // Build the copy under a temporary name and rename it into place, so that a copy cut short
    // (a full disk, an unreadable file) never looks like a finished one. The folder belongs to this
    // item alone, so one fixed short name will do: one made from the file's name would be too long
    // for the file system when that name is near its limit.
    const QString staging = folder + QStringLiteral("/.vesk-partial");
    if (QFileInfo(staging).isDir())
        QDir(staging).removeRecursively();
    else
        QFile::remove(staging);

    Expected<void, QString> copied = {};
    if (S_ISDIR(sourceStat.st_mode))
        copied = copyFolder(cleanSource, staging);
    else if (S_ISREG(sourceStat.st_mode))
        copied = copyRegularFile(cleanSource, staging);
    else
        copied = unexpected(QStringLiteral("not a regular file or folder"));
    if (copied && ::rename(native(staging).constData(), native(destination).constData()) != 0)
        copied = unexpected(systemError(errno));
    if (!copied) {
        if (QFileInfo(staging).isDir())
            QDir(staging).removeRecursively();
        else
            QFile::remove(staging);
        QDir().rmdir(folder); // only when it is empty: an item folder we just made
        return unexpected(copied.error());
    }
    return destination;
}

} // namespace vesk
