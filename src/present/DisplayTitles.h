#pragma once

#include "platform/DateTexts.h"
#include "model/ItemFileKinds.h"
#include "model/VeskItem.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace vesk {

// The title shown for an item: machine-made file names lose their extension, embedded
// identifiers and trailing serial numbers; when nothing meaningful is left, the kind word and
// the date stand in. Never empty; the stored title is untouched.
QString cleanedDisplayTitle(const VeskItem& item, const QLocale& locale = QLocale());

} // namespace vesk
