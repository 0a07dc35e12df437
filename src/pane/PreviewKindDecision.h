#pragma once

#include "model/VeskItem.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <optional>

namespace vesk {

// The one body section the preview pane shows for an item.
enum class PreviewSection { Secure, PhotoNote, Activity, Video, Image, Audio, Text, Link, File, None };

// The per-kind ladder, first match wins: secure markers; then, with a file path, a note package
// (whole path ends in ".vesknote"), an activity, a video, an image-like item, an audio file;
// without one, an activity or an image item; then text, link, a file, or nothing.
PreviewSection previewSection(const VeskItem& item);

// Spacing of the section's column (points): video and audio 12, image, link and file 10, text 8.
int previewSectionSpacing(PreviewSection section);

bool hasVideoExtension(const VeskItem& item);
bool hasAudioExtension(const VeskItem& item);

// The header's kind symbol and format badge text.
QString previewKindSymbol(const VeskItem& item);
QString previewFormatLabel(const VeskItem& item);

// Which header controls an item gets. Edit: plain (not secure, not web) text items. Edit Image:
// image-like items. The format badge: every item that is not image-like.
bool showsEditButton(const VeskItem& item);
bool showsEditImageButton(const VeskItem& item);
bool showsFormatBadge(const VeskItem& item);

// "Page Text" for captured web content, else "Contents".
QString textSectionTitle(const VeskItem& item);

struct PreviewDateRow {
    QString label;
    QDateTime date;

    friend bool operator==(const PreviewDateRow&, const PreviewDateRow&) = default;
};

// With a creation date of the stored file: "Created" with it, then "Vesked" with the item's own
// date; without one, a single "Created" row with the item's date.
QList<PreviewDateRow> previewDateRows(const VeskItem& item, const std::optional<QDateTime>& storedFileCreated);

// Abbreviated date and short time in the user's time zone ("Dec 7, 2026, 4:52 AM").
QString previewDateText(const QDateTime& date, const QLocale& locale = QLocale());

} // namespace vesk
