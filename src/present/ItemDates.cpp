#include "present/ItemDates.h"

#include "present/DisplayTitles.h"
#include "model/ItemFileKinds.h"
#include "platform/image/ExifDates.h"

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
    if (auto named = captureNameDate(item.searchableText.toString()))
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

const ContentCreationDateCache::Entry* ContentCreationDateCache::cached(const VeskItem& item, size_t textHash) const
{
    const auto it = m_entries.constFind(item.id);
    if (it != m_entries.cend() && it->path == item.filePath.value_or(QString()) && it->createdAt == item.createdAt
        && it->searchableHash == textHash)
        return &*it;
    return nullptr;
}

std::optional<QDateTime> ContentCreationDateCache::readDate(const VeskItem& item) const
{
    return m_reader ? contentCreationDate(item, m_reader) : contentCreationDate(item);
}

size_t ContentCreationDateCache::searchableHash(const VeskItem& item)
{
    constexpr qsizetype kLongText = 64 * 1024;
    constexpr qsizetype kKnownTexts = 64;
    if (item.searchableText.size() < kLongText)
        return qHash(item.searchableText);
    if (const auto known = m_longTexts.constFind(item.id);
        known != m_longTexts.cend() && known->text.isSharedWith(item.searchableText))
        return known->hash;
    // Few and bounded: the buffers kept here are the items' own while they are shown.
    if (m_longTexts.size() >= kKnownTexts)
        m_longTexts.clear();
    const size_t hash = qHash(item.searchableText);
    m_longTexts.insert(item.id, KnownText{item.searchableText, hash});
    return hash;
}

void ContentCreationDateCache::keepLongTextsOnly(const QSet<QUuid>& ids)
{
    m_longTexts.removeIf([&ids](const auto& known) { return !ids.contains(known.key()); });
}

void ContentCreationDateCache::store(const VeskItem& item, const std::optional<QDateTime>& date)
{
    m_entries.insert(item.id, Entry{item.filePath.value_or(QString()), item.createdAt, searchableHash(item), date});
}

std::optional<QDateTime> ContentCreationDateCache::dateFor(const VeskItem& item)
{
    if (const Entry* entry = cached(item, searchableHash(item)))
        return entry->date;
    const std::optional<QDateTime> date = readDate(item);
    store(item, date);
    return date;
}

std::optional<VeskCardDates> ContentCreationDateCache::knownCardDates(const VeskItem& item)
{
    // Without a file there is nothing to read: the content date is unknown.
    if (!item.filePath)
        return cardDatesFor(item, std::nullopt);
    if (const Entry* entry = cached(item, searchableHash(item)))
        return cardDatesFor(item, entry->date);
    return std::nullopt;
}

VeskCardDates ContentCreationDateCache::cardDates(const VeskItem& item)
{
    return cardDatesFor(item, dateFor(item));
}

} // namespace vesk
