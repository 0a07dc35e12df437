#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// Reminder date per item.
using BringBackDateMap = QHash<QUuid, QDateTime>;

// The user-defaults key the reminders are kept under.
inline const QString bringBackDatesKey = QStringLiteral("Vesk.BringBack.v1");

// The stored JSON form: {"<ID>": <seconds since 2001-01-01 UTC, fraction kept>, ...}, names in the
// identifiers' upper-case text; an empty map is an empty object.
QByteArray encodeBringBackDates(const BringBackDateMap& dates);
// Members whose names are not identifiers are dropped. Anything else that is not such an object
// (no data, broken JSON, a value that is not a usable number) is no reminders at all. Two names
// for the same identifier in different case keep one of their dates.
BringBackDateMap decodeBringBackDates(const QByteArray& json);

// The earliest date; none for an empty map.
std::optional<QDateTime> nextBringBackDate(const BringBackDateMap& dates);

} // namespace vesk
