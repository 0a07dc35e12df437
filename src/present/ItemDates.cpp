#include "present/ItemDates.h"

#include "present/DisplayTitles.h"
#include "model/ItemFileKinds.h"

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

} // namespace

std::optional<QDateTime> exifCaptureDate(const QString& filePath)
{
    const qsizetype slash = filePath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = filePath.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1 || !isExifExtension(filePath.mid(dot + 1).toLower()))
        return std::nullopt;
    return exifDateTimeOriginal(filePath);
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
