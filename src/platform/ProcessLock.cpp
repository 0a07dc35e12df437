#include "platform/ProcessLock.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vesk {

ProcessLock::ProcessLock(QString path) : m_path(std::move(path)) {}

ProcessLock::~ProcessLock()
{
    unlock();
}

ProcessLock::Result ProcessLock::tryLock()
{
    if (m_fd >= 0)
        return Result::Taken;
    const QByteArray name = QFile::encodeName(m_path);
    // A lock file is never followed through a link: in a shared temporary folder another user
    // could point it anywhere.
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    const bool writable = fd >= 0;
    if (fd < 0) {
        // A full disk or a read-only folder takes no new file; one that is there can still be
        // locked, and locking it writes nothing.
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return Result::Unavailable;
    }
    // flock, not fcntl: its lock belongs to this open file, so a second start inside one process
    // is refused too, and closing another descriptor of the file elsewhere does not drop it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Result::Held;
        m_error = QString::fromLocal8Bit(std::strerror(error));
        return Result::Unavailable;
    }
    m_fd = fd;
    m_error.clear();
    if (writable) {
        // Written over the old holder's number in place, then cut to length: no new space is
        // needed where the file already had some. A failure leaves the holder unnamed, no more.
        const QByteArray holder = QByteArray::number(qint64(::getpid())) + '\n';
        if (::pwrite(fd, holder.constData(), size_t(holder.size()), 0) == holder.size())
            (void)::ftruncate(fd, holder.size());
    }
    return Result::Taken;
}

void ProcessLock::unlock()
{
    if (m_fd < 0)
        return;
    // The file stays: removing it would let a start that already opened it lock a file that no
    // longer has a name, beside one that locks a new file of the same name.
    ::close(m_fd);
    m_fd = -1;
}

qint64 ProcessLock::holderProcessId() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // The first line, as an older Vesk wrote it too.
    bool ok = false;
    const qint64 pid = file.readLine(32).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

} // namespace vesk
