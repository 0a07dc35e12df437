#include "model/VeskItem.h"

namespace vesk {

QString veskKindRawValue(VeskKind kind)
{
    switch (kind) {
    case VeskKind::Text: return QStringLiteral("text");
    case VeskKind::Url: return QStringLiteral("url");
    case VeskKind::Image: return QStringLiteral("image");
    case VeskKind::File: return QStringLiteral("file");
    case VeskKind::Activity: return QStringLiteral("activity");
    }
    return QStringLiteral("text");
}

std::optional<VeskKind> veskKindFromRawValue(const QString& raw)
{
    for (VeskKind kind : kAllVeskKinds) {
        if (veskKindRawValue(kind) == raw)
            return kind;
    }
    return std::nullopt;
}

namespace {
template <typename T>
size_t hashOptional(const std::optional<T>& value, size_t seed)
{
    // A distinct marker for none keeps "none" and "empty" apart.
    return value ? ::qHash(*value, seed) : ::qHash(quint64(0x9e3779b97f4a7c15ull), seed);
}
} // namespace

void shareEqualTexts(VeskItem& item)
{
    if (item.text && !item.text->isSharedWith(item.searchableText) && *item.text == item.searchableText)
        item.searchableText = *item.text;
}

void makeRoomAtFront(QList<VeskItem>& items)
{
    // A prepend without room allocates a larger block and leaves half of what it adds at the
    // front; the removal keeps that room.
    if (items.isEmpty())
        return;
    items.prepend(VeskItem());
    items.removeFirst();
}

QList<VeskItem> emptyListWithRoomAtFront(qsizetype count)
{
    QList<VeskItem> items;
    if (count <= 0)
        return items;
    // A prepend to a list of one with room at its end moves its start to the middle of the room
    // (an empty list's prepend is an append); the removals keep it there.
    items.reserve(2 * count);
    items.append(VeskItem());
    items.prepend(VeskItem());
    items.removeFirst();
    items.removeLast();
    return items;
}

size_t qHash(const VeskItem& item, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, item.id);
    seed = combine(seed, item.title);
    seed = combine(seed, int(item.kind));
    seed = combine(seed, item.createdAt.toMSecsSinceEpoch());
    seed = hashOptional(item.text, seed);
    seed = hashOptional(item.urlString, seed);
    seed = hashOptional(item.filePath, seed);
    seed = combine(seed, item.searchableText);
    seed = combine(seed, item.note);
    seed = hashOptional(item.groupID, seed);
    seed = hashOptional(item.sourceItemID, seed);
    return seed;
}

} // namespace vesk
