#include "common/FlushRecorder.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex g_flushesLock;
QList<vesk::test::RecordedFlush> g_flushes;

int realFsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

} // namespace

extern "C" int fsync(int fd)
{
    char target[4096] = {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    if (const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1); length > 0) {
        const bool main = QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
        const std::lock_guard<std::mutex> locked(g_flushesLock);
        g_flushes.append({QFile::decodeName(QByteArray(target, length)), main});
    }
    return realFsync(fd);
}

namespace vesk::test {

void forgetRecordedFlushes()
{
    const std::lock_guard<std::mutex> locked(g_flushesLock);
    g_flushes.clear();
}

QList<RecordedFlush> recordedFlushes()
{
    const std::lock_guard<std::mutex> locked(g_flushesLock);
    return g_flushes;
}

} // namespace vesk::test
