#pragma once
// The texts the previews of phone packages show: metadata values, counts, timeline row headers
// and resource detail lines.

#include "intake/MobilePackages.h"

#include <QLocale>
#include <QString>
#include <optional>

namespace vesk {

struct VeskItem;

// A manifest date as an abbreviated date with a short time; a text that is no internet
// date-time as written; nothing for an absent or blank value.
std::optional<QString> manifestDateText(const std::optional<QString>& value, const QLocale& locale = QLocale());

// "summary" then "notes", trimmed, the blank ones dropped, one per line; without a manifest or
// with nothing left, the item's own note, trimmed.
QString notesText(const std::optional<VeskActivityManifest>& manifest, const VeskItem& item);

// "1 item", else the count followed by " items".
QString itemCountText(qint64 count);

// The row header of a timeline event: its symbol, title and time of day.
QString activityEventSymbolName(const QString& kind);
QString activityEventTitle(const VeskActivityTimelineEvent& event);
QString eventTimeText(const QString& createdAt, const QLocale& locale = QLocale());

// The audio extensions a "file" event plays inside Vesk.
bool isAudioFilePath(const QString& path);

// The pieces of a resource card's detail line, the empty ones left out, joined by " · ".
QString resourceDetailText(const QString& path, const std::optional<qint64>& size,
                           const std::optional<double>& durationSeconds, const QLocale& locale = QLocale());

// "4032 × 3024"; empty when either side is below 1.
QString dimensionsText(const QSize& size);

} // namespace vesk
