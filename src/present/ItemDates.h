#pragma once

#include "model/ContentDates.h"
#include "model/VeskItem.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
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

    // For callers that must not read files: the lines when they are known without reading one
    // (an item without a file, or one read before), none while the file is still to be read.
    std::optional<VeskCardDates> knownCardDates(const VeskItem& item);
    // Reads the item's content date as dateFor would; touches nothing of the cache, so it may run
    // on a worker thread. The result is handed back with store().
    std::optional<QDateTime> readDate(const VeskItem& item) const;
    void store(const VeskItem& item, const std::optional<QDateTime>& date);
    int size() const { return int(m_entries.size()); }
    // Lets go of the long texts kept of every item but these: each holds its item's whole text,
    // a deleted one's too. The dates stay.
    void keepLongTextsOnly(const QSet<QUuid>& ids);

private:
    struct Entry {
        QString path;
        QDateTime createdAt;
        size_t searchableHash = 0;
        std::optional<QDateTime> date;
    };
    const Entry* cached(const VeskItem& item, size_t textHash) const;
    // The hash of the item's searchable text. Cards ask on every frame, and a document's text can
    // run to megabytes: a long text is hashed once per buffer.
    size_t searchableHash(const VeskItem& item);

    struct KnownText {
        ItemText text;
        size_t hash = 0;
    };

    FileDateReader m_reader;
    QHash<QUuid, Entry> m_entries;
    QHash<QUuid, KnownText> m_longTexts;
};

} // namespace vesk
