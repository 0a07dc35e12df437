#include "platform/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

IoFailure systemError(int code)
{
    return IoFailure::writing(code);
}

bool syncFolderOf(const QByteArray& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

Expected<void, IoFailure> writeFileDurably(const QString& path, const QByteArray& data)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".vesk-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return unexpected(systemError(errno));
    const auto failWith = [&](int code) -> Expected<void, IoFailure> {
        ::close(fd);
        ::unlink(temporary.constData());
        return unexpected(systemError(code));
    };
    // mkostemp makes the file for its owner alone; a library file is as readable as any other.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    qint64 written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return failWith(errno);
        }
        if (count == 0)
            return failWith(ENOSPC);
        written += count;
    }
    if (::fsync(fd) != 0)
        return failWith(errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return failWith(errno);
    if (qint64(status.st_size) != qint64(data.size()))
        return failWith(EIO);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return unexpected(systemError(code));
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return unexpected(systemError(code));
    }
    // The rename is what names the file; without the folder on the disk a power cut can undo it.
    if (!syncFolderOf(target))
        return unexpected(systemError(errno));
    return {};
}

} // namespace vesk
