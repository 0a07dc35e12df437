#include "platform/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
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

Unexpected<DurableWriteFailure> failure(int code, bool renamedIntoPlace = false)
{
    return unexpected(DurableWriteFailure{systemError(code), renamedIntoPlace});
}

bool syncFolderOf(const QByteArray& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int code = errno;
    ::close(fd);
    errno = code;
    return synced;
}

// A new temporary file in target's folder, made with the mode every new file gets: the kernel masks
// 0666 with the process's umask. mkstemp's owner-only file would need the umask read to widen it,
// and reading the umask means setting it, for every thread of the process at once. Its name is
// short whatever target's is, so any name the folder takes can be written.
int createTemporary(const QByteArray& target, QByteArray& temporary)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QByteArray folder = target.left(target.lastIndexOf('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + ".vesk-";
        for (int i = 0; i < 6; ++i)
            temporary += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

Expected<void, DurableWriteFailure> writeFileDurably(const QString& path, const QByteArray& data)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary;
    const int fd = createTemporary(target, temporary);
    if (fd < 0)
        return failure(errno);
    const auto failWith = [&](int code) -> Expected<void, DurableWriteFailure> {
        ::close(fd);
        ::unlink(temporary.constData());
        return failure(code);
    };

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
        return failure(code);
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return failure(code);
    }
    // The rename is what names the file; without the folder on the disk a power cut can undo it.
    // The old file is gone by now, whatever the folder's flush says.
    if (!syncFolderOf(target))
        return failure(errno, true);
    return {};
}

} // namespace vesk
