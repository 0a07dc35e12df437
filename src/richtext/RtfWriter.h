#pragma once
// Writes rich text as an RTF document: a font table, one \par between paragraphs, each run in its
// own group with its font, size, weight, italic, underline and baseline, links as HYPERLINK fields,
// and every character outside ASCII as a \uN escape. Colours are never written.

#include "richtext/RtfContent.h"

#include <QByteArray>
#include <QString>

namespace vesk {

// `systemFamily` names the font of runs that carry no family of their own.
QByteArray writeRtf(const RtfContent& content, const QString& systemFamily);

} // namespace vesk
