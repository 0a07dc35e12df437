#include "BigFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <unistd.h>

namespace vesk::bench {

void ensureFileOfSize(const QString& path, qint64 size)
{
    if (QFileInfo(path).size() == size)
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    quint64 state = 0x9E3779B97F4A7C15ull;
    for (qint64 written = 0; written < size; written += chunk.size()) {
        auto* words = reinterpret_cast<quint64*>(chunk.data());
        for (qsizetype i = 0; i < chunk.size() / qsizetype(sizeof(quint64)); ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            words[i] = state;
        }
        file.write(chunk.constData(), std::min<qint64>(chunk.size(), size - written));
    }
    // On the disk before anything is measured: left dirty, its gigabyte would be written back in
    // the middle of whichever contender runs when the kernel gets to it.
    if (!file.flush() || ::fsync(file.handle()) != 0)
        qFatal("cannot flush %s", qPrintable(path));
}

} // namespace vesk::bench
