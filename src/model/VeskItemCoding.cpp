#include "model/VeskItemCoding.h"

#include "platform/Uuid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>

namespace vesk {

QString iso8601String(const QDateTime& date)
{
    return date.toUTC().toString(Qt::ISODate);
}

std::optional<QDateTime> parseIso8601(const QString& text)
{
    // An internet date-time must name its zone ("Z" or an offset); a bare local time is refused.
    static const QRegularExpression zoned(QStringLiteral("(Z|[+-]\\d{2}:?\\d{2})$"));
    if (!text.contains(QLatin1Char('T')) || !zoned.match(text).hasMatch())
        return std::nullopt;
    QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid())
        return std::nullopt;
    return date.toUTC();
}

namespace {

QString describe(const QString& key, const char* problem)
{
    return QStringLiteral("key \"%1\" %2").arg(key, QString::fromLatin1(problem));
}

Expected<QString, QString> requiredString(const QJsonObject& record, const QString& key)
{
    const QJsonValue value = record.value(key);
    if (value.isUndefined() || value.isNull())
        return unexpected(describe(key, "is missing"));
    if (!value.isString())
        return unexpected(describe(key, "is not text"));
    return value.toString();
}

Expected<std::optional<QString>, QString> optionalString(const QJsonObject& record, const QString& key)
{
    const QJsonValue value = record.value(key);
    if (value.isUndefined() || value.isNull())
        return std::optional<QString>();
    if (!value.isString())
        return unexpected(describe(key, "is not text"));
    return std::optional<QString>(value.toString());
}

Expected<QUuid, QString> requiredUuid(const QJsonObject& record, const QString& key)
{
    auto text = requiredString(record, key);
    if (!text)
        return unexpected(text.error());
    auto id = parseUuid(*text);
    if (!id)
        return unexpected(describe(key, "is not a UUID"));
    return *id;
}

Expected<std::optional<QUuid>, QString> optionalUuid(const QJsonObject& record, const QString& key)
{
    auto text = optionalString(record, key);
    if (!text)
        return unexpected(text.error());
    if (!text->has_value())
        return std::optional<QUuid>();
    auto id = parseUuid(**text);
    if (!id)
        return unexpected(describe(key, "is not a UUID"));
    return std::optional<QUuid>(*id);
}

Expected<QDateTime, QString> requiredDate(const QJsonObject& record, const QString& key)
{
    auto text = requiredString(record, key);
    if (!text)
        return unexpected(text.error());
    auto date = parseIso8601(*text);
    if (!date)
        return unexpected(describe(key, "is not an ISO 8601 date"));
    return *date;
}

} // namespace

QJsonObject encodeItemRecord(const VeskItem& item)
{
    QJsonObject record;
    record.insert(QStringLiteral("id"), uuidString(item.id));
    record.insert(QStringLiteral("title"), item.title);
    record.insert(QStringLiteral("kind"), veskKindRawValue(item.kind));
    record.insert(QStringLiteral("createdAt"), iso8601String(item.createdAt));
    if (item.text)
        record.insert(QStringLiteral("text"), item.text->toString());
    if (item.urlString)
        record.insert(QStringLiteral("urlString"), *item.urlString);
    if (item.filePath)
        record.insert(QStringLiteral("filePath"), *item.filePath);
    record.insert(QStringLiteral("searchableText"), item.searchableText.toString());
    record.insert(QStringLiteral("note"), item.note);
    if (item.groupID)
        record.insert(QStringLiteral("groupID"), uuidString(*item.groupID));
    if (item.sourceItemID)
        record.insert(QStringLiteral("sourceItemID"), uuidString(*item.sourceItemID));
    return record;
}

QJsonObject encodeGroupRecord(const VeskGroup& group)
{
    QJsonObject record;
    record.insert(QStringLiteral("id"), uuidString(group.id));
    record.insert(QStringLiteral("name"), group.name);
    record.insert(QStringLiteral("createdAt"), iso8601String(group.createdAt));
    return record;
}

Expected<VeskItem, QString> decodeItemRecord(const QJsonObject& record)
{
    VeskItem item;
#define VESK_TAKE(target, expr)            \
    {                                      \
        auto taken = (expr);               \
        if (!taken)                        \
            return unexpected(taken.error()); \
        target = std::move(*taken);        \
    }
    VESK_TAKE(item.id, requiredUuid(record, QStringLiteral("id")));
    VESK_TAKE(item.title, requiredString(record, QStringLiteral("title")));
    QString kindText;
    VESK_TAKE(kindText, requiredString(record, QStringLiteral("kind")));
    const auto kind = veskKindFromRawValue(kindText);
    if (!kind)
        return unexpected(QStringLiteral("key \"kind\" has unknown value \"%1\"").arg(kindText));
    item.kind = *kind;
    VESK_TAKE(item.createdAt, requiredDate(record, QStringLiteral("createdAt")));
    VESK_TAKE(item.text, optionalString(record, QStringLiteral("text")));
    VESK_TAKE(item.urlString, optionalString(record, QStringLiteral("urlString")));
    VESK_TAKE(item.filePath, optionalString(record, QStringLiteral("filePath")));
    VESK_TAKE(item.searchableText, requiredString(record, QStringLiteral("searchableText")));
    VESK_TAKE(item.note, requiredString(record, QStringLiteral("note")));
    VESK_TAKE(item.groupID, optionalUuid(record, QStringLiteral("groupID")));
    VESK_TAKE(item.sourceItemID, optionalUuid(record, QStringLiteral("sourceItemID")));
#undef VESK_TAKE
    // Equal texts share one buffer, as they do when read from the database.
    shareEqualTexts(item);
    return item;
}

Expected<VeskGroup, QString> decodeGroupRecord(const QJsonObject& record)
{
    auto id = requiredUuid(record, QStringLiteral("id"));
    if (!id)
        return unexpected(id.error());
    auto name = requiredString(record, QStringLiteral("name"));
    if (!name)
        return unexpected(name.error());
    auto createdAt = requiredDate(record, QStringLiteral("createdAt"));
    if (!createdAt)
        return unexpected(createdAt.error());
    return VeskGroup{*id, *name, *createdAt};
}

Expected<QList<VeskItem>, QString> decodeItemArchive(const QByteArray& json)
{
    auto contents = decodeItemArchiveRecords(json);
    if (!contents)
        return unexpected(contents.error());
    if (!contents->badRecords.isEmpty()) {
        const auto& [position, reason] = contents->badRecords.first();
        return unexpected(QStringLiteral("record %1: %2").arg(position).arg(reason));
    }
    return contents->items;
}

Expected<ItemArchiveContents, QString> decodeItemArchiveRecords(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return unexpected(error.errorString());
    if (!document.isArray())
        return unexpected(QStringLiteral("the archive is not a list of items"));
    ItemArchiveContents contents;
    const QJsonArray records = document.array();
    for (qsizetype index = 0; index < records.size(); ++index) {
        const QJsonValue value = records.at(index);
        if (!value.isObject()) {
            contents.badRecords.append({index, QStringLiteral("not an object")});
            continue;
        }
        auto item = decodeItemRecord(value.toObject());
        if (!item)
            contents.badRecords.append({index, item.error()});
        else
            contents.items.append(std::move(*item));
    }
    return contents;
}

QByteArray encodeItemArchive(const QList<VeskItem>& items)
{
    QJsonArray records;
    for (const VeskItem& item : items)
        records.append(encodeItemRecord(item));
    return QJsonDocument(records).toJson(QJsonDocument::Compact);
}

} // namespace vesk
