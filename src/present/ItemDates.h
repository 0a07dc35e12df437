#pragma once

#include "model/ContentDates.h"
#include "model/VeskItem.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

namespace vesk {

// EXIF DateTimeOriginal of a JPEG, HEIC/HEIF, TIFF or PNG file, read in local time; none for
// other extensions (cards never ask a GIF, BMP or WebP for one).
std::optional<QDateTime> exifCaptureDate(const QString& filePath);

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
