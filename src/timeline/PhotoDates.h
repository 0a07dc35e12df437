#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace vesk {

// The birth time of the file at a path, or none when the file system cannot tell; tests inject it.
using FileBirthTimeReader = std::function<std::optional<QDateTime>(const QString& path)>;

// When a timeline photo was taken, uncached: its EXIF DateTimeOriginal; else a capture name in
// the searchable text or the file's name; else the file's birth time when it lies more than
// 300 s before the import. None when no rule gives a date. Reads the file: never on the main
// thread in bulk (the media cache memoises it).
std::optional<QDateTime> readPhotoDate(const QString& path, const QDateTime& importedAt,
                                       const QString& searchableText);
std::optional<QDateTime> readPhotoDate(const QString& path, const QDateTime& importedAt,
                                       const QString& searchableText, const FileBirthTimeReader& birthTime);

} // namespace vesk
