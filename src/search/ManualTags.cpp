#include "search/ManualTags.h"

#include "search/SearchText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace vesk {

bool addManualTag(ManualTagMap& tags, const QString& itemKey, const QString& text)
{
    const QString tag = normalizedTag(text);
    if (tag.isEmpty())
        return false;
    QStringList current = tags.value(itemKey);
    if (current.contains(tag))
        return false;
    current.append(tag);
    std::sort(current.begin(), current.end());
    current.erase(std::unique(current.begin(), current.end()), current.end());
    tags.insert(itemKey, current);
    return true;
}

bool removeManualTag(ManualTagMap& tags, const QString& itemKey, const QString& text)
{
    auto entry = tags.find(itemKey);
    if (entry == tags.end())
        return false;
    const QString tag = normalizedTag(text);
    entry->removeAll(tag);
    if (entry->isEmpty())
        tags.erase(entry);
    else
        std::sort(entry->begin(), entry->end());
    return true;
}

QStringList displayTags(const VeskItem& item, const QStringList& manualTags)
{
    // Field by field rather than joined: a tag never runs across the space that would join two
    // fields, and a note of megabytes is neither decoded nor read twice when its searchable text
    // is the same buffer as its text; one without a "#" is not decoded at all.
    QSet<QString> all;
    const auto addTags = [&all](const QString& field) {
        for (const QString& tag : extractHashtags(field))
            all.insert(tag);
    };
    const auto addTextTags = [&addTags](const ItemText& field) {
        if (field.utf8().contains('#'))
            addTags(field.toString());
    };
    addTags(item.title);
    addTags(item.note);
    if (item.text)
        addTextTags(*item.text);
    if (!item.text || !item.text->isSharedWith(item.searchableText))
        addTextTags(item.searchableText);
    if (item.urlString)
        addTags(*item.urlString);
    if (item.filePath)
        addTags(*item.filePath);
    for (const QString& tag : manualTags)
        all.insert(tag);
    QStringList sorted(all.begin(), all.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

QByteArray encodeManualTags(const ManualTagMap& tags)
{
    QJsonObject root;
    for (auto it = tags.cbegin(); it != tags.cend(); ++it)
        root.insert(it.key(), QJsonArray::fromStringList(*it));
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<ManualTagMap> decodeManualTags(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    ManualTagMap tags;
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (!it->isArray())
            return std::nullopt;
        QStringList list;
        for (const QJsonValue& value : it->toArray()) {
            if (!value.isString())
                return std::nullopt;
            list.append(value.toString());
        }
        tags.insert(it.key(), list);
    }
    return tags;
}

} // namespace vesk
