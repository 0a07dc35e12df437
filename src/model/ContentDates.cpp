#include "model/ContentDates.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

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

std::optional<QDateTime> parseLocal(const QString& text, const QString& format)
{
    const QDateTime parsed = QDateTime::fromString(text, format);
    if (!parsed.isValid())
        return std::nullopt;
    // fromString gives local time, which is how both formats are meant.
    return parsed.toUTC();
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
        return parseLocal(value.trimmed(), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<QDateTime> captureNameDate(const QString& text)
{
    static const QRegularExpression captureName(
        QStringLiteral("(?i)Vesk-(?:Photo|Video|Note|File|Audio)-([0-9]{4})-([0-9]{2})-([0-9]{2})-([0-9]{6})"));
    const QRegularExpressionMatch match = captureName.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QStringList pieces = match.captured(0).split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (pieces.size() < 6)
        return std::nullopt;
    const QString joined = pieces.mid(2, 4).join(QLatin1Char('-'));
    return parseLocal(joined, QStringLiteral("yyyy-MM-dd-HHmmss"));
}

bool acceptsFileCreationDate(const QDateTime& fileDate, const QDateTime& importedAt)
{
    if (!fileDate.isValid() || !importedAt.isValid())
        return false;
    return fileDate < importedAt.addSecs(-kCreationDateMarginSeconds);
}

} // namespace vesk
