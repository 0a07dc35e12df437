#pragma once

#include "platform/Expected.h"
#include "model/VeskItem.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace vesk {

// The keyed record form of items and groups (the legacy "vesks.json" archive). Dates are ISO 8601
// internet date-times in UTC without fractional seconds.
QJsonObject encodeItemRecord(const VeskItem& item);
QJsonObject encodeGroupRecord(const VeskGroup& group);

// A decoding failure names the key and the reason; any failure fails the whole document.
Expected<VeskItem, QString> decodeItemRecord(const QJsonObject& record);
Expected<VeskGroup, QString> decodeGroupRecord(const QJsonObject& record);

// A JSON array of item records. Anything but an array of valid records fails as a whole.
Expected<QList<VeskItem>, QString> decodeItemArchive(const QByteArray& json);

// What an archive holds record by record: the records that decode, and for each that does not,
// its position (from 0) and why.
struct ItemArchiveContents {
    QList<VeskItem> items;
    QList<std::pair<qsizetype, QString>> badRecords;
};
// Fails only when the document is not a JSON array; a bad record is set aside, not the archive.
Expected<ItemArchiveContents, QString> decodeItemArchiveRecords(const QByteArray& json);
QByteArray encodeItemArchive(const QList<VeskItem>& items);

QString iso8601String(const QDateTime& date);
std::optional<QDateTime> parseIso8601(const QString& text);

} // namespace vesk
