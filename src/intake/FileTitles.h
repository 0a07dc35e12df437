#pragma once

#include "platform/DateTexts.h"
#include "model/VeskItem.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace vesk {

// The text without the spaces, dashes and underscores at either end.
QString trimSeparators(const QString& text);

// Separator of fallback titles: " • ".
QString titleSeparator();

// The kind word ("Photo", "Video", "Note", "Audio", "Document" or "File") of a name that has the
// form of names Vesk generates itself ("Vesk-Photo-2024-05-01-101500-1A2B3C4D.jpg"); none for any
// other name.
std::optional<QString> generatedFileKind(const QString& fileName);

// Whether a title looks machine-made: a name Vesk generated, one holding a UUID anywhere, a camera,
// scanner or generic prefix with a serial, one ending in a long hexadecimal or numeric run, or
// one of only hexadecimal digits and hyphens. Such titles are offered a cleaned-up replacement.
bool isGenericFileName(const QString& name);

// A readable title for an item made from a file: the file's own words with identifiers and
// serial numbers removed, or, for a machine-made name, a kind word and the date.
QString cleanedTitleFromFileName(const QString& fileName, const VeskItem& item,
                                 const QDateTime& date);

} // namespace vesk
