#include "images/CacheFiles.h"

#include "platform/image/ImageLoader.h"
#include "platform/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

namespace vesk {

QImage readCacheImage(const QString& filePath)
{
    if (!QFileInfo(filePath).isFile())
        return {};
    QImageReader reader(filePath, "png");
    QImage image = reader.read();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return {};
    return image;
}

void writeCacheImage(const QString& folder, const QString& fileName, const QImage& image, const QString& logPrefix)
{
    if (!QDir().mkpath(folder)) {
        veskLog(logPrefix + QStringLiteral("could not create the folder ") + folder);
        return;
    }
    const QByteArray png = pngRepresentation(image);
    if (png.isEmpty())
        return;
    QSaveFile file(QDir(folder).filePath(fileName));
    if (!file.open(QIODevice::WriteOnly)) {
        veskLog(logPrefix + file.errorString());
        return;
    }
    if (file.write(png) != png.size() || !file.commit())
        veskLog(logPrefix + file.errorString());
}

int cacheCost(const QImage& image)
{
    return std::max<int>(1, int(image.sizeInBytes() / 1024));
}

} // namespace vesk
