#include "timeline/PhotoDates.h"

#include "model/ContentDates.h"
#include "model/ItemFileKinds.h"
#include "platform/image/ExifDates.h"

#include <QFileInfo>

namespace vesk {

std::optional<QDateTime> readPhotoDate(const QString& path, const QDateTime& importedAt,
                                       const QString& searchableText)
{
    return readPhotoDate(path, importedAt, searchableText,
                         [](const QString& file) { return fileCreationDate(file); });
}

std::optional<QDateTime> readPhotoDate(const QString& path, const QDateTime& importedAt,
                                       const QString& searchableText, const FileBirthTimeReader& birthTime)
{
    if (auto taken = exifDateTimeOriginal(path))
        return taken;
    // The capture name may stand in the searchable text or only in the file's own name.
    if (auto named = captureNameDate(searchableText + QLatin1Char(' ') + QFileInfo(path).fileName()))
        return named;
    const std::optional<QDateTime> born = birthTime ? birthTime(path) : std::nullopt;
    if (born && acceptsFileCreationDate(*born, importedAt))
        return born;
    return std::nullopt;
}

} // namespace vesk
