#include "platform/image/ExifDates.h"

#include <QFile>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <mutex>

namespace vesk {

namespace {

void quietExiv2()
{
    // exiv2 prints warnings about odd files to stderr; a damaged photo is not worth a log line.
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
#ifdef EXV_ENABLE_BMFF
        Exiv2::enableBMFF(true);
#endif
    });
}

} // namespace

std::optional<QDateTime> exifDateTimeOriginal(const QString& filePath)
{
    if (filePath.isEmpty() || !QFile::exists(filePath))
        return std::nullopt;
    quietExiv2();
    try {
        const QByteArray nativePath = QFile::encodeName(filePath);
        auto image = Exiv2::ImageFactory::open(std::string(nativePath.constData(), size_t(nativePath.size())));
        if (!image.get())
            return std::nullopt;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto entry = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
        if (entry == exif.end())
            return std::nullopt;
        const Exiv2::TypeId type = entry->typeId();
        if (type != Exiv2::asciiString && type != Exiv2::string)
            return std::nullopt;
        QString value = QString::fromStdString(entry->toString());
        // ASCII values carry their terminating NUL in some writers.
        while (value.endsWith(QChar(0)))
            value.chop(1);
        // The tag holds local time.
        const QDateTime taken = QDateTime::fromString(value.trimmed(), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        if (!taken.isValid())
            return std::nullopt;
        return taken.toUTC();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace vesk
