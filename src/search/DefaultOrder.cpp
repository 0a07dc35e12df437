#include "search/DefaultOrder.h"

#include "search/Ranking.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace vesk {

bool DefaultOrder::before(const Key& a, const Key& b)
{
    if (a.broughtBack != b.broughtBack)
        return a.broughtBack;
    if (a.time != b.time)
        return a.time > b.time;
    return a.sequence < b.sequence;
}

DefaultOrder::Key DefaultOrder::keyFor(const VeskItem& item, qint64 sequence) const
{
    return Key{m_broughtBackIDs.contains(item.id), rankingTime(item.createdAt), sequence};
}

void DefaultOrder::reset(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs)
{
    m_broughtBackIDs = broughtBackIDs;
    m_nextFrontSequence = -1;
    std::vector<Key> keys;
    keys.reserve(size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i)
        keys.push_back(keyFor(items[i], i));
    std::vector<qsizetype> order(keys.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    // The store reads its items newest first, so this is usually one pass that finds them sorted.
    if (!std::is_sorted(order.begin(), order.end(),
            [&](qsizetype a, qsizetype b) { return before(keys[size_t(a)], keys[size_t(b)]); })) {
        std::sort(order.begin(), order.end(),
            [&](qsizetype a, qsizetype b) { return before(keys[size_t(a)], keys[size_t(b)]); });
    }

    m_items = emptyListWithRoomAtFront(items.size());
    m_keys.clear();
    m_keyByID.clear();
    m_keyByID.reserve(items.size());
    for (qsizetype index : order) {
        const VeskItem& item = items[index];
        // Identifiers are unique in the store's list; a repeat would break the look-ups.
        if (m_keyByID.contains(item.id))
            continue;
        m_items.append(item);
        m_keys.push_back(keys[size_t(index)]);
        m_keyByID.insert(item.id, keys[size_t(index)]);
    }
}

qsizetype DefaultOrder::positionOf(const Key& key) const
{
    return std::lower_bound(m_keys.begin(), m_keys.end(), key, before) - m_keys.begin();
}

void DefaultOrder::insert(const VeskItem& item, const Key& key)
{
    const qsizetype position = positionOf(key);
    if (position <= m_items.size() / 2) {
        // Put in front, where the list has room, and carried to its place past the few before it.
        m_items.prepend(item);
        std::rotate(m_items.begin(), m_items.begin() + 1, m_items.begin() + position + 1);
    } else {
        m_items.insert(position, item);
    }
    m_keys.insert(m_keys.begin() + position, key);
    m_keyByID.insert(item.id, key);
}

void DefaultOrder::removeAt(qsizetype position)
{
    if (position <= m_items.size() / 2) {
        // Carried to the front and taken from there, which leaves the rest where it is.
        std::rotate(m_items.begin(), m_items.begin() + position, m_items.begin() + position + 1);
        m_items.removeFirst();
    } else {
        m_items.remove(position);
    }
    m_keys.erase(m_keys.begin() + position);
}

void DefaultOrder::prepend(const VeskItem& item)
{
    if (m_keyByID.contains(item.id))
        remove(item.id);
    insert(item, keyFor(item, m_nextFrontSequence--));
}

void DefaultOrder::update(const VeskItem& item)
{
    const auto found = m_keyByID.constFind(item.id);
    if (found == m_keyByID.cend())
        return;
    const Key old = *found;
    const Key key = keyFor(item, old.sequence);
    const qsizetype position = positionOf(old);
    if (key.broughtBack == old.broughtBack && key.time == old.time) {
        m_items[position] = item;
        return;
    }
    removeAt(position);
    insert(item, key);
}

bool DefaultOrder::remove(const QUuid& id)
{
    const auto found = m_keyByID.constFind(id);
    if (found == m_keyByID.cend())
        return false;
    removeAt(positionOf(*found));
    m_keyByID.remove(id);
    return true;
}

void DefaultOrder::setBroughtBackIDs(const QSet<QUuid>& ids)
{
    if (ids == m_broughtBackIDs)
        return;
    QSet<QUuid> changed = ids;
    changed.unite(m_broughtBackIDs);
    for (const QUuid& id : ids) {
        if (m_broughtBackIDs.contains(id))
            changed.remove(id);
    }
    m_broughtBackIDs = ids;
    for (const QUuid& id : std::as_const(changed)) {
        const auto found = m_keyByID.constFind(id);
        if (found == m_keyByID.cend())
            continue;
        const qsizetype position = positionOf(*found);
        const VeskItem item = m_items[position];
        Key key = *found;
        key.broughtBack = ids.contains(id);
        removeAt(position);
        insert(item, key);
    }
}

} // namespace vesk
