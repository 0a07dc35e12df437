#pragma once

#include <QImage>
#include <QString>

namespace vesk::test {

// Encodes image as HEIC with libheif's HEVC encoder; false when no encoder is available.
bool writeHeic(const QString& path, const QImage& image);

} // namespace vesk::test
