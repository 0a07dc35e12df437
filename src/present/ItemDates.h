#pragma once

#include "model/VeskItem.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

namespace vesk {

// The managed file's birth time may only stand for the content's creation when it lies more
// than this before the import; a later one was made by the import itself.
inline constexpr qint64 kCreationDateMarginSeconds = 300;

// EXIF DateTimeOriginal of a JPEG, HEIC/HEIF, TIFF or PNG file, read in local time; none for
// other extensions, unreadable files, a missing tag or a malformed value.
std::optional<QDateTime> exifCaptureDate(const QString& filePath);

// A capture name such as "Vesk-Photo-2025-03-14-091502" anywhere in the text, in local time.
std::optional<QDateTime> captureNameDate(const QString& text);

// True when a file birth time tells something about the content: strictly earlier than the
// import time minus the margin.
bool acceptsFileCreationDate(const QDateTime& fileDate, const QDateTime& importedAt);

using FileDateReader = std::function<std::optional<QDateTime>(const VeskItem&)>;

// When the item's content was made: EXIF capture time, then a capture name in searchableText,
// then the managed file's birth time when it predates the import; none without a file path.
// The reader stands in for the file-system lookup in tests.
std::optional<QDateTime> contentCreationDate(const VeskItem& item);
std::optional<QDateTime> contentCreationDate(const VeskItem& item, const FileDateReader& readFileDate);

// The two date lines of a card: "Imported (…)" and "Created (…)" / "Created (Unknown)".
struct VeskCardDates {
    QString importedLine;
    QString createdLine;
};
VeskCardDates cardDatesFor(const VeskItem& item, const std::optional<QDateTime>& contentDate);

// Reading EXIF and file attributes for every card on every repaint would be disk I/O on the
// main thread; the answer is kept per item and path. A changed path, import date or
// searchable text computes it again.
class ContentCreationDateCache {
public:
    explicit ContentCreationDateCache(FileDateReader reader = {});

    std::optional<QDateTime> dateFor(const VeskItem& item);
    VeskCardDates cardDates(const VeskItem& item);
    void clear();
    int size() const { return int(m_entries.size()); }

private:
    struct Entry {
        QString path;
        QDateTime createdAt;
        size_t searchableHash = 0;
        std::optional<QDateTime> date;
    };
    FileDateReader m_reader;
    QHash<QUuid, Entry> m_entries;
};

} // namespace vesk
