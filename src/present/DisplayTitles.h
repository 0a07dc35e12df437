#pragma once

#include "model/ItemFileKinds.h"
#include "model/VeskItem.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace vesk {

// A date in the locale's abbreviated style without a time ("Jul 4, 2019" in US English), in the
// user's local time zone.
QString abbreviatedDateText(const QDateTime& date, const QLocale& locale = QLocale());

// The title shown for an item: machine-made file names lose their extension, embedded
// identifiers and trailing serial numbers; when nothing meaningful is left, the kind word and
// the date stand in. Never empty; the stored title is untouched.
QString cleanedDisplayTitle(const VeskItem& item, const QLocale& locale = QLocale());

} // namespace vesk
