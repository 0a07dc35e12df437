#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace vesk {

// The rules by which Vesk dates a file's content, shared by the cards' "Created" line and the
// person timeline; each of them chains these (and the picture's own date, platform/image/ExifDates)
// in its own order.

// A file birth time may only stand for the content's creation when it lies more than this before
// the import; a later one was made by the import itself.
inline constexpr qint64 kCreationDateMarginSeconds = 300;

// A capture name such as "Vesk-Photo-2025-03-14-091502" anywhere in the text, in local time.
std::optional<QDateTime> captureNameDate(const QString& text);

// True when a file birth time tells something about the content: strictly earlier than the
// import time minus the margin.
bool acceptsFileCreationDate(const QDateTime& fileDate, const QDateTime& importedAt);

} // namespace vesk
