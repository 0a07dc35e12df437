#pragma once
// Pictures with capture dates, written the way cameras do: EXIF DateTimeOriginal through exiv2.

#include <QFile>
#include <QString>
#include <string>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

namespace vesk::test {

// Sets the picture file's DateTimeOriginal to a value such as "2019:07:14 09:30:00".
inline void writeExifDateTimeOriginal(const QString& path, const char* value)
{
    auto file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    file->readMetadata();
    Exiv2::ExifData exif = file->exifData();
    exif["Exif.Photo.DateTimeOriginal"] = std::string(value);
    file->setExifData(exif);
    file->writeMetadata();
}

} // namespace vesk::test
