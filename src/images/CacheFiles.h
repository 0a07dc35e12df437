#pragma once

#include <QImage>
#include <QString>

namespace vesk {

// Shared by the picture caches (runs on their workers).

// The picture in a cache file, or a null image when the file is missing or does not decode.
QImage readCacheImage(const QString& filePath);

// Encodes the picture as PNG and replaces `folder/fileName` atomically, creating the folder on
// the way. A failure to create or write logs one line, `logPrefix` followed by the reason; a
// picture that cannot be encoded is skipped silently (the memory tier still holds it).
void writeCacheImage(const QString& folder, const QString& fileName, const QImage& image, const QString& logPrefix);

// Memory-tier cost of a picture in kilobytes, at least 1.
int cacheCost(const QImage& image);

} // namespace vesk
