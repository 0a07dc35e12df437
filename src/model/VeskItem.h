#pragma once

#include "model/ItemText.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <array>
#include <optional>

namespace vesk {

enum class VeskKind { Text, Url, Image, File, Activity };

// All kinds in declaration order.
inline constexpr std::array<VeskKind, 5> kAllVeskKinds{
    VeskKind::Text, VeskKind::Url, VeskKind::Image, VeskKind::File, VeskKind::Activity};

// "text", "url", "image", "file", "activity".
QString veskKindRawValue(VeskKind kind);
// Exact, case-sensitive match of a raw value; anything else is no kind.
std::optional<VeskKind> veskKindFromRawValue(const QString& raw);

struct VeskGroup {
    QUuid id;
    QString name;
    QDateTime createdAt;

    friend bool operator==(const VeskGroup&, const VeskGroup&) = default;
};

struct VeskItem {
    QUuid id;
    QString title;
    VeskKind kind = VeskKind::Text;
    QDateTime createdAt;
    // Held as UTF-8 (see ItemText); for a note the two share one buffer.
    std::optional<ItemText> text;
    std::optional<QString> urlString;
    std::optional<QString> filePath;
    ItemText searchableText;
    QString note;
    std::optional<QUuid> groupID;
    std::optional<QUuid> sourceItemID;

    friend bool operator==(const VeskItem&, const VeskItem&) = default;
};

// When the searchable text equals the text (every plain note), makes it the same buffer, as the
// database load does: a note of megabytes is then held once.
void shareEqualTexts(VeskItem& item);

// The store's lists take new items at the front, newest first. A list read or built by appending
// has no room there, and its first prepend would move all of it on the main thread; this gives it
// room for many prepends at the cost of one move, made where the list is built.
void makeRoomAtFront(QList<VeskItem>& items);
// An empty list with room for count items appended and as many prepended: a list built this way
// has its room at the front without the move, and without a second copy of a whole library in
// memory while it is made.
QList<VeskItem> emptyListWithRoomAtFront(qsizetype count);

size_t qHash(const VeskItem& item, size_t seed = 0) noexcept;

} // namespace vesk

// Every member holds its data by pointer or by value, never a pointer into itself, so a list of
// items grows by moving its memory in one piece instead of item by item.
Q_DECLARE_TYPEINFO(vesk::VeskItem, Q_RELOCATABLE_TYPE);

template <>
struct std::hash<vesk::VeskItem> {
    size_t operator()(const vesk::VeskItem& item) const noexcept { return vesk::qHash(item); }
};
