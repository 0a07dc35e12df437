#pragma once
// What the benchmarks read of their own memory use (Linux /proc).

#include <QByteArray>
#include <QFile>

namespace vesk::bench {

// Kilobytes from /proc/self/status for a key such as "VmHWM:" (the peak) or "VmRSS:"; -1 when it
// cannot be read.
inline qint64 statusKilobytes(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Lets VmHWM start again from the current resident size.
inline void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace vesk::bench
