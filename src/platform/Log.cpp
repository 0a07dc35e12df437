#include "platform/Log.h"

#include <QMutex>
#include <cstdio>

namespace vesk {

namespace {
QMutex& captureMutex()
{
    static QMutex mutex;
    return mutex;
}
LogCapture& currentCapture()
{
    static LogCapture capture;
    return capture;
}
} // namespace

void veskLog(const QString& line)
{
    QMutexLocker lock(&captureMutex());
    if (currentCapture()) {
        currentCapture()(line);
        return;
    }
    const QByteArray bytes = line.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
}

void setVeskLogCapture(LogCapture capture)
{
    QMutexLocker lock(&captureMutex());
    currentCapture() = std::move(capture);
}

} // namespace vesk
