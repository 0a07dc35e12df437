#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QString>
#include <optional>

namespace vesk {

// The name of a document with its version words ("final", "v2", "draft3", "(1)", "copy", a
// trailing counter...) and every character outside a-z and 0-9 removed, lower-cased:
// "Report final.pdf", "report_v2.pdf" and "Report (3).pdf" all give "report". The name is taken
// as a file name: its directory and extension are ignored.
QString versionKey(const QString& fileName);

// Keys shorter than this never match anything ("V7.pdf" has the empty key).
inline constexpr qsizetype kMinimumVersionKeyLength = 3;

// The first item of items whose managed file has the same extension as fileName (ignoring case)
// and whose title has the same version key as fileName; none otherwise.
std::optional<VeskItem> findRelatedVersionIn(const QList<VeskItem>& items, const QString& fileName);

} // namespace vesk
