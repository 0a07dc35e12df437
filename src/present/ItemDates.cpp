#include "present/ItemDates.h"

#include "present/DisplayTitles.h"
#include "model/ItemFileKinds.h"

#include <QFile>
#include <QRegularExpression>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <mutex>

namespace vesk {

namespace {

bool isExifExtension(const QString& extension)
{
    static const char* const kExifExtensions[] = {"jpg", "jpeg", "heic", "heif", "tif", "tiff", "png"};
    for (const char* candidate : kExifExtensions) {
        if (extension == QLatin1String(candidate))
            return true;
    }
    return false;
}

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

std::optional<QDateTime> exifCaptureDate(const QString& filePath)
{
    const qsizetype slash = filePath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = filePath.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1 || !isExifExtension(filePath.mid(dot + 1).toLower()))
        return std::nullopt;
    if (!QFile::exists(filePath))
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

std::optional<QDateTime> contentCreationDate(const VeskItem& item)
{
    return contentCreationDate(item, [](const VeskItem& it) { return fileCreationDate(it); });
}

std::optional<QDateTime> contentCreationDate(const VeskItem& item, const FileDateReader& readFileDate)
{
    if (!item.filePath)
        return std::nullopt;
    if (auto exif = exifCaptureDate(*item.filePath))
        return exif;
    if (auto named = captureNameDate(item.searchableText))
        return named;
    const std::optional<QDateTime> fileDate = readFileDate ? readFileDate(item) : fileCreationDate(item);
    if (fileDate && acceptsFileCreationDate(*fileDate, item.createdAt))
        return fileDate;
    return std::nullopt;
}

VeskCardDates cardDatesFor(const VeskItem& item, const std::optional<QDateTime>& contentDate)
{
    VeskCardDates lines;
    lines.importedLine = QStringLiteral("Imported (") + abbreviatedDateText(item.createdAt) + QLatin1Char(')');
    lines.createdLine = QStringLiteral("Created (")
        + (contentDate ? abbreviatedDateText(*contentDate) : QStringLiteral("Unknown")) + QLatin1Char(')');
    return lines;
}

ContentCreationDateCache::ContentCreationDateCache(FileDateReader reader) : m_reader(std::move(reader)) {}

std::optional<QDateTime> ContentCreationDateCache::dateFor(const VeskItem& item)
{
    const QString path = item.filePath.value_or(QString());
    const size_t textHash = qHash(item.searchableText);
    auto it = m_entries.find(item.id);
    if (it != m_entries.end() && it->path == path && it->createdAt == item.createdAt
        && it->searchableHash == textHash)
        return it->date;
    Entry entry{path, item.createdAt, textHash,
                m_reader ? contentCreationDate(item, m_reader) : contentCreationDate(item)};
    const std::optional<QDateTime> date = entry.date;
    m_entries.insert(item.id, std::move(entry));
    return date;
}

VeskCardDates ContentCreationDateCache::cardDates(const VeskItem& item)
{
    return cardDatesFor(item, dateFor(item));
}

void ContentCreationDateCache::clear()
{
    m_entries.clear();
}

} // namespace vesk
