#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace vesk {

// Lower-cased, accents and character widths folded, web addresses removed, everything but a-z,
// 0-9 and '#' turned into single spaces, trimmed.
QString normalizedForNearDuplicate(const QString& text);

// The words of a normalised text that have at least 3 characters and are not stop words.
QSet<QString> keywordSet(const QString& normalizedText);

// The share of positions, over the shorter text, at which both texts hold the same character;
// 0 when either is empty.
double prefixSimilarity(const QString& a, const QString& b);

// The text item of items that says nearly the same as text, best score first, the earlier item
// on a tie; an exact normalised match wins at once. Secure items and every kind but text are
// never candidates; short texts and texts with few keywords are never matched.
std::optional<VeskItem> findSimilarTextIn(const QList<VeskItem>& items, const QString& text);

} // namespace vesk
