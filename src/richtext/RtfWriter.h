#pragma once
// Writes rich text as an RTF document: a font table, one \par between paragraphs, each run in its
// own group with its font, size, weight, italic, underline and baseline, links as HYPERLINK fields,
// soft line breaks as \line, and every character outside ASCII as a \uN escape. Colours are never
// written.

#include "richtext/RtfContent.h"

#include <QByteArray>
#include <QString>

namespace vesk {

// The name under which the system font is written. Any reader of ours maps it (like every name
// beginning with a full stop) to the system font of its own desktop, so a note follows the desktop
// font instead of keeping the one of the day it was written.
inline constexpr const char* kSystemFontAlias = ".VeskSystemFont";

// Runs without a family, and runs in `systemFamily`, are written in the system font; other
// programs are offered `systemFamily` as its stand-in.
QByteArray writeRtf(const RtfContent& content, const QString& systemFamily);

} // namespace vesk
