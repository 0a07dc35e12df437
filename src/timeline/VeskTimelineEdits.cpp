#include "timeline/VeskTimelineEdits.h"

#include "platform/Log.h"
#include "platform/Settings.h"
#include "platform/Uuid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <optional>

namespace vesk {

namespace {

QJsonArray uuidArray(const QList<QUuid>& ids)
{
    QJsonArray array;
    for (const QUuid& id : ids)
        array.append(uuidString(id));
    return array;
}

std::optional<QUuid> uuidValue(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    return parseUuid(value.toString());
}

// A member that is missing or null is empty; anything but an array of identifiers is broken.
std::optional<QList<QUuid>> readUuidArray(const QJsonObject& object, const QString& member)
{
    const QJsonValue value = object.value(member);
    if (value.isUndefined() || value.isNull())
        return QList<QUuid>();
    if (!value.isArray())
        return std::nullopt;
    QList<QUuid> ids;
    for (const QJsonValue& element : value.toArray()) {
        const std::optional<QUuid> id = uuidValue(element);
        if (!id)
            return std::nullopt;
        ids.append(*id);
    }
    return ids;
}

std::optional<QMap<QUuid, QUuid>> readCopies(const QJsonObject& object)
{
    const QJsonValue value = object.value(QStringLiteral("copies"));
    if (value.isUndefined() || value.isNull())
        return QMap<QUuid, QUuid>();
    if (!value.isObject())
        return std::nullopt;
    QMap<QUuid, QUuid> copies;
    const QJsonObject members = value.toObject();
    for (auto it = members.begin(); it != members.end(); ++it) {
        const std::optional<QUuid> copy = parseUuid(it.key());
        const std::optional<QUuid> item = uuidValue(it.value());
        if (!copy || !item)
            return std::nullopt;
        copies.insert(*copy, *item);
    }
    return copies;
}

std::optional<VeskTimelineEdits> readPerson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto order = readUuidArray(object, QStringLiteral("order"));
    const auto hidden = readUuidArray(object, QStringLiteral("hidden"));
    const auto copies = readCopies(object);
    if (!order || !hidden || !copies)
        return std::nullopt;
    VeskTimelineEdits edits;
    edits.order = *order;
    edits.hidden = QSet<QUuid>(hidden->begin(), hidden->end());
    edits.copies = *copies;
    return edits;
}

} // namespace

QByteArray encodeTimelineEdits(const VeskTimelineEditsByPerson& edits)
{
    QJsonObject document;
    for (auto it = edits.begin(); it != edits.end(); ++it) {
        QList<QUuid> hidden(it->hidden.begin(), it->hidden.end());
        // A set has no order; sorting keeps equal documents byte-identical.
        std::sort(hidden.begin(), hidden.end());
        QJsonObject copies;
        for (auto copy = it->copies.begin(); copy != it->copies.end(); ++copy)
            copies.insert(uuidString(copy.key()), uuidString(copy.value()));
        QJsonObject person;
        person.insert(QStringLiteral("order"), uuidArray(it->order));
        person.insert(QStringLiteral("hidden"), uuidArray(hidden));
        person.insert(QStringLiteral("copies"), copies);
        document.insert(it.key(), person);
    }
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

DecodedTimelineEdits decodeTimelineEdits(const QByteArray& json)
{
    DecodedTimelineEdits decoded;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        decoded.readable = false;
        return decoded;
    }
    const QJsonObject persons = document.object();
    for (auto it = persons.begin(); it != persons.end(); ++it) {
        if (std::optional<VeskTimelineEdits> edits = readPerson(it.value()))
            decoded.edits.insert(it.key(), std::move(*edits));
        else
            decoded.skippedPersons.append(it.key());
    }
    return decoded;
}

TimelineEditsStorage::TimelineEditsStorage(Settings& settings) : m_settings(settings) {}

void TimelineEditsStorage::load()
{
    const QByteArray stored = m_settings.data(editsKey);
    if (stored.isEmpty())
        return;
    DecodedTimelineEdits decoded = decodeTimelineEdits(stored);
    if (!decoded.readable) {
        veskLog(QStringLiteral("Vesk timeline edits error: the stored edits are not a readable document"));
        m_unreadDocument = stored;
        return;
    }
    for (const QString& person : decoded.skippedPersons)
        veskLog(QStringLiteral("Vesk timeline edits error for ") + person);
    m_unreadDocument = decoded.isComplete() ? QByteArray() : stored;
    m_edits = std::move(decoded.edits);
}

void TimelineEditsStorage::save(const QString& personKey, const VeskTimelineEdits& edits)
{
    m_edits.insert(personKey, edits);
    if (!m_unreadDocument.isEmpty()) {
        m_settings.setData(backupKey, m_unreadDocument);
        veskLog(QStringLiteral("Vesk timeline edits kept the unreadable document under ") + backupKey);
        m_unreadDocument.clear();
    }
    m_settings.setData(editsKey, encodeTimelineEdits(m_edits));
}

} // namespace vesk
