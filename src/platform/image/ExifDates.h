#pragma once
// The dates a picture file carries in its metadata, read with exiv2.

#include <QDateTime>
#include <QString>
#include <optional>

namespace vesk {

// EXIF DateTimeOriginal ("yyyy:MM:dd HH:mm:ss", local time) of whatever picture file exiv2 can
// read; none for unreadable files, a missing tag, a value that is not text or does not parse.
std::optional<QDateTime> exifDateTimeOriginal(const QString& filePath);

} // namespace vesk
