#pragma once

#include "model/VeskItem.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace vesk {

// Manual tags per item, keyed by the item identifier's upper-case text: normalised tags, sorted,
// without repeats, never an empty list.
using ManualTagMap = QHash<QString, QStringList>;

// The user-defaults key the tags are kept under.
inline const QString manualTagsKey = QStringLiteral("Vesk.ManualTags.v1");

// Adds the normal form of text to the item's tags; false when it is empty or already there.
bool addManualTag(ManualTagMap& tags, const QString& itemKey, const QString& text);
// Removes the normal form of text from the item's tags, dropping the entry when none are left.
// Returns whether the item had an entry at all (then the tags are to be saved again).
bool removeManualTag(ManualTagMap& tags, const QString& itemKey, const QString& text);

// Every tag of an item for display: the hashtags of its texts and its manual tags, sorted.
QStringList displayTags(const VeskItem& item, const QStringList& manualTags);

// The stored JSON form: {"<ID>": ["tag", ...], ...}. Decoding fails as a whole on anything else.
QByteArray encodeManualTags(const ManualTagMap& tags);
std::optional<ManualTagMap> decodeManualTags(const QByteArray& json);

} // namespace vesk
