#include "platform/WordTable.h"

#include <algorithm>
#include <bit>
#include <functional>

namespace vesk {

WordTable::WordTable() : m_short(1024), m_long(64), m_starts{0} {}

bool WordTable::pack(std::u16string_view word, Key& key)
{
    const size_t length = word.size();
    if (length > kLongestPacked)
        return false;
    quint64 low = 0;
    quint64 high = 0;
    char16_t seen = 0;
    const size_t lowLength = std::min<size_t>(length, 8);
    for (size_t i = 0; i < lowLength; ++i) {
        seen |= word[i];
        low |= quint64(word[i] & 0xFF) << (8 * i);
    }
    for (size_t i = 8; i < length; ++i) {
        seen |= word[i];
        high |= quint64(word[i] & 0xFF) << (8 * (i - 8));
    }
    if (seen >= 0x80)
        return false;
    key.low = low;
    key.high = high | (quint64(length) << 56);
    return true;
}

quint64 WordTable::hashKey(const Key& key)
{
    quint64 hash = key.low * 0x9E3779B97F4A7C15ull ^ std::rotl(key.high * 0xC2B2AE3D27D4EB4Full, 31);
    hash ^= hash >> 32;
    hash *= 0xD6E8FEB86659FD93ull;
    return hash ^ (hash >> 32);
}

quint32 WordTable::add(std::u16string_view word)
{
    const auto id = quint32(size());
    m_chars.insert(m_chars.end(), word.begin(), word.end());
    m_starts.push_back(m_chars.size());
    m_uses.push_back(0);
    return id;
}

bool WordTable::markUse(Marks& marks, quint32 id, int use, quint32 mark)
{
    quint32& last = marks[size_t(use)];
    if (last == mark)
        return false;
    if (last == 0)
        m_uses[id] |= quint8(1u << use);
    last = mark;
    return true;
}

quint32 WordTable::intern(std::u16string_view word, int use)
{
    bool fresh = false;
    return find(word, use, kAnyMark, fresh);
}

std::optional<quint32> WordTable::internOnce(std::u16string_view word, int use, quint32 mark)
{
    Q_ASSERT(mark != 0 && mark != kAnyMark);
    bool fresh = false;
    const quint32 id = find(word, use, mark, fresh);
    return fresh ? std::optional<quint32>(id) : std::nullopt;
}

quint32 WordTable::find(std::u16string_view word, int use, quint32 mark, bool& fresh)
{
    Key key;
    if (!pack(word, key))
        return findLong(word, use, mark, fresh);
    return findShort(key, hashKey(key), use, mark, fresh);
}

quint32 WordTable::findShort(const Key& key, quint64 hash, int use, quint32 mark, bool& fresh)
{
    const size_t mask = m_short.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
        ShortCell& cell = m_short[i];
        if (!cell.idPlusOne) {
            // The key holds the word's characters.
            const auto length = size_t(key.high >> 56);
            char16_t text[kLongestPacked];
            for (size_t k = 0; k < length; ++k)
                text[k] = char16_t(((k < 8 ? key.low >> (8 * k) : key.high >> (8 * (k - 8)))) & 0xFF);
            const quint32 id = add({text, length});
            cell.key = key;
            cell.idPlusOne = id + 1;
            fresh = markUse(cell.marks, id, use, mark);
            if (++m_shortCount * 2 > m_short.size())
                growShort();
            return id;
        }
        if (cell.key == key) {
            fresh = markUse(cell.marks, cell.idPlusOne - 1, use, mark);
            return cell.idPlusOne - 1;
        }
    }
}

void WordTable::queueOnce(std::u16string_view word, int use, quint32 mark, std::vector<quint32>& ids)
{
    Q_ASSERT(mark != 0 && mark != kAnyMark);
    Key key;
    if (!pack(word, key)) {
        // Rare, and its text is only lent for this call: looked up at once.
        flush();
        bool fresh = false;
        const quint32 id = findLong(word, use, mark, fresh);
        if (fresh)
            ids.push_back(id);
        return;
    }
    const quint64 hash = hashKey(key);
    __builtin_prefetch(&m_short[size_t(hash) & (m_short.size() - 1)]);
    if (m_pendingCount == kPendingDepth)
        resolveOldest();
    m_pending[(m_pendingFirst + m_pendingCount) % kPendingDepth] = {key, hash, &ids, mark, use};
    ++m_pendingCount;
}

void WordTable::flush()
{
    while (m_pendingCount > 0)
        resolveOldest();
}

void WordTable::resolveOldest()
{
    const Pending& pending = m_pending[m_pendingFirst];
    m_pendingFirst = (m_pendingFirst + 1) % kPendingDepth;
    --m_pendingCount;
    bool fresh = false;
    // A table grown since the word was queued finds it all the same: the place is worked out
    // again from the hash.
    const quint32 id = findShort(pending.key, pending.hash, pending.use, pending.mark, fresh);
    if (fresh)
        pending.ids->push_back(id);
}

quint32 WordTable::findLong(std::u16string_view word, int use, quint32 mark, bool& fresh)
{
    const quint64 hash = std::hash<std::u16string_view>()(word);
    const size_t mask = m_long.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
        LongCell& cell = m_long[i];
        if (!cell.idPlusOne) {
            const quint32 id = add(word);
            cell.hash = hash;
            cell.idPlusOne = id + 1;
            fresh = markUse(cell.marks, id, use, mark);
            if (++m_longCount * 2 > m_long.size())
                growLong();
            return id;
        }
        if (cell.hash == hash && text(cell.idPlusOne - 1) == word) {
            fresh = markUse(cell.marks, cell.idPlusOne - 1, use, mark);
            return cell.idPlusOne - 1;
        }
    }
}

namespace {

// Open addressing doubles the same way for both kinds of cell: each used cell goes to the first
// free one from its hash in a table twice the size.
template<typename Cell, typename HashOf>
void doubleTable(std::vector<Cell>& cells, HashOf hashOf)
{
    std::vector<Cell> larger(cells.size() * 2);
    const size_t mask = larger.size() - 1;
    for (const Cell& cell : cells) {
        if (!cell.idPlusOne)
            continue;
        size_t i = size_t(hashOf(cell)) & mask;
        while (larger[i].idPlusOne)
            i = (i + 1) & mask;
        larger[i] = cell;
    }
    cells.swap(larger);
}

} // namespace

void WordTable::growShort()
{
    doubleTable(m_short, [](const ShortCell& cell) { return hashKey(cell.key); });
}

void WordTable::growLong()
{
    doubleTable(m_long, [](const LongCell& cell) { return cell.hash; });
}

} // namespace vesk
