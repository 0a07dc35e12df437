#include "search/DefaultOrder.h"

#include "platform/ErasePositions.h"
#include "platform/ParallelWork.h"
#include "search/Ranking.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace vesk {

namespace {

// Below this many items a copy is quicker than handing pieces of it to other threads.
constexpr qsizetype kCopyInPiecesFrom = 16384;

// A new list, with room at its front, of count items where the i-th is sourceAt(i). A copy of a
// library of a hundred thousand items costs the window tens of milliseconds (a reference taken on
// each text of every item, into memory touched for the first time), so a large one is copied in
// pieces by the parallel pool and the calling thread together; the caller waits only for pieces
// already begun. The sources are not changed meanwhile: their owner is the waiting caller.
template <typename SourceAt>
QList<VeskItem> copyWithRoomAtFront(qsizetype count, SourceAt sourceAt)
{
    if (count < kCopyInPiecesFrom) {
        QList<VeskItem> copy = emptyListWithRoomAtFront(count);
        for (qsizetype i = 0; i < count; ++i)
            copy.append(sourceAt(i));
        return copy;
    }
    // The list's memory is made first, with as much room before its items as they take (as
    // emptyListWithRoomAtFront leaves it), and each item is made in place; the list then takes
    // them all at once. Copying an item only takes references (it never allocates), so no piece
    // stops half made.
    QArrayDataPointer<VeskItem> data(QTypedArrayData<VeskItem>::allocate(2 * count));
    Q_CHECK_PTR(data.d);
    data.ptr += count;
    VeskItem* const into = data.ptr;
    forChunksInParallel(size_t(count), [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            new (into + i) VeskItem(sourceAt(qsizetype(i)));
    });
    data.size = count;
    return QList<VeskItem>(std::move(data));
}

} // namespace

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

bool DefaultOrder::sortKeys(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs, std::vector<qsizetype>& order)
{
    m_broughtBackIDs = broughtBackIDs;
    m_nextFrontSequence = -1;
    std::vector<Key> keys;
    keys.reserve(size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i)
        keys.push_back(keyFor(items[i], i));
    order.resize(keys.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    // The store reads its items newest first, so this is usually one pass that finds them sorted.
    bool inListOrder = std::is_sorted(order.begin(), order.end(),
        [&](qsizetype a, qsizetype b) { return before(keys[size_t(a)], keys[size_t(b)]); });
    if (!inListOrder) {
        std::sort(order.begin(), order.end(),
            [&](qsizetype a, qsizetype b) { return before(keys[size_t(a)], keys[size_t(b)]); });
    }

    m_keys.clear();
    m_keyByID.clear();
    m_keyByID.reserve(items.size());
    std::vector<qsizetype> kept;
    for (qsizetype index : order) {
        const QUuid& id = items[index].id;
        // Identifiers are unique in the store's list; a repeat would break the look-ups.
        if (m_keyByID.contains(id)) {
            inListOrder = false;
            continue;
        }
        kept.push_back(index);
        m_keys.push_back(keys[size_t(index)]);
        m_keyByID.insert(id, keys[size_t(index)]);
    }
    order = std::move(kept);
    return inListOrder;
}

void DefaultOrder::reset(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs)
{
    m_list = nullptr;
    m_sharesList = false;
    std::vector<qsizetype> order;
    sortKeys(items, broughtBackIDs, order);
    copyInOrder(items, order);
}

void DefaultOrder::resetSharing(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs)
{
    m_list = nullptr;
    m_sharesList = false;
    std::vector<qsizetype> order;
    if (sortKeys(items, broughtBackIDs, order)) {
        m_items = items;
        return;
    }
    copyInOrder(items, order);
}

void DefaultOrder::follow(const QList<VeskItem>& list, const QSet<QUuid>& broughtBackIDs)
{
    m_list = &list;
    std::vector<qsizetype> order;
    m_sharesList = sortKeys(list, broughtBackIDs, order);
    m_items = QList<VeskItem>();
    if (!m_sharesList)
        copyInOrder(list, order);
}

void DefaultOrder::copyInOrder(const QList<VeskItem>& items, const std::vector<qsizetype>& order)
{
    m_items = copyWithRoomAtFront(qsizetype(order.size()), [&](qsizetype i) -> const VeskItem& { return items[order[size_t(i)]]; });
}

void DefaultOrder::bind(const QList<VeskItem>& list)
{
    if (m_sharesList && m_list == &list)
        return;
    if (m_sharesList)
        m_items = *m_list;
    m_list = &list;
    m_sharesList = false;
    rejoin();
}

void DefaultOrder::rejoin()
{
    if (m_sharesList || !m_list || m_items.size() != m_list->size())
        return;
    if (!m_items.isSharedWith(*m_list)) {
        // The order is told of every change of the list, so the same identifiers are the same
        // items. Usually told apart by the first few: a brought-back item leads the order, not
        // the list.
        for (qsizetype i = 0; i < m_items.size(); ++i) {
            if (m_items.at(i).id != m_list->at(i).id)
                return;
        }
    }
    m_items = QList<VeskItem>();
    m_sharesList = true;
}

bool DefaultOrder::copyFollowedList(qsizetype expectedSize)
{
    if (m_list->size() != expectedSize) {
        // A change the order was not told of: it starts again from the list as it is.
        follow(*m_list, m_broughtBackIDs);
        return false;
    }
    const QList<VeskItem>& list = *m_list;
    m_items = copyWithRoomAtFront(list.size(), [&](qsizetype i) -> const VeskItem& { return list[i]; });
    m_sharesList = false;
    return true;
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
    if (m_sharesList) {
        const Key key = keyFor(item, m_nextFrontSequence--);
        // The newest item of a list in order leaves it in order: the list holds it at its front.
        if (!m_keyByID.contains(item.id) && m_list->size() == size() + 1 && m_list->constFirst().id == item.id
            && (m_keys.empty() || before(key, m_keys.front()))) {
            m_keys.push_front(key);
            m_keyByID.insert(item.id, key);
            return;
        }
        if (m_keyByID.contains(item.id) || m_list->size() != size() + 1 || m_list->constFirst().id != item.id) {
            follow(*m_list, m_broughtBackIDs);
            return;
        }
        // The list without its new front item is what the order holds; the item goes to its place.
        const QList<VeskItem>& list = *m_list;
        m_items = copyWithRoomAtFront(list.size() - 1, [&](qsizetype i) -> const VeskItem& { return list[i + 1]; });
        m_sharesList = false;
        insert(item, key);
        return;
    }
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
        // A followed list holds the change already.
        if (!m_sharesList)
            m_items[position] = item;
        return;
    }
    if (m_sharesList && !copyFollowedList(size()))
        return;
    removeAt(position);
    insert(item, key);
}

bool DefaultOrder::remove(const QUuid& id)
{
    const auto found = m_keyByID.constFind(id);
    if (found == m_keyByID.cend())
        return false;
    if (m_sharesList) {
        // The list let go of the item already.
        if (m_list->size() + 1 != size()) {
            follow(*m_list, m_broughtBackIDs);
            return true;
        }
        m_keys.erase(m_keys.begin() + positionOf(*found));
        m_keyByID.remove(id);
        return true;
    }
    removeAt(positionOf(*found));
    m_keyByID.remove(id);
    return true;
}

void DefaultOrder::removeAll(const QSet<QUuid>& ids)
{
    std::vector<qsizetype> positions;
    for (const QUuid& id : ids) {
        if (const auto found = m_keyByID.constFind(id); found != m_keyByID.cend())
            positions.push_back(positionOf(*found));
    }
    if (positions.size() <= 1) {
        for (const QUuid& id : ids)
            remove(id);
        return;
    }
    if (m_sharesList && m_list->size() + qsizetype(positions.size()) != size()) {
        // A change the order was not told of: it starts again from the list as it is.
        follow(*m_list, m_broughtBackIDs);
        return;
    }
    std::sort(positions.begin(), positions.end());
    for (const QUuid& id : ids)
        m_keyByID.remove(id);
    eraseAtPositions(m_keys, positions);
    // A followed list let go of its items already.
    if (!m_sharesList)
        eraseAtPositions(m_items, positions);
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
    const bool moves = std::any_of(changed.cbegin(), changed.cend(), [&](const QUuid& id) { return m_keyByID.contains(id); });
    if (moves && m_sharesList && !copyFollowedList(size()))
        return;
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
