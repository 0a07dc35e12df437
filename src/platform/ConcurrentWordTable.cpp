#include "platform/ConcurrentWordTable.h"

namespace vesk {

ConcurrentWordTable::ConcurrentWordTable()
{
    m_shards.reserve(size_t(1) << kShardBits);
    for (size_t i = 0; i < (size_t(1) << kShardBits); ++i)
        m_shards.push_back(std::make_unique<Shard>());
}

ConcurrentWordTable::~ConcurrentWordTable() = default;

void ConcurrentWordTable::Shard::grow()
{
    std::vector<Cell> larger(cells.size() * 2);
    const size_t mask = larger.size() - 1;
    for (const Cell& cell : cells) {
        if (!cell.placePlusOne)
            continue;
        const size_t hash = std::hash<std::u16string_view>()(texts[cell.placePlusOne - 1]);
        size_t i = hash & mask;
        while (larger[i].placePlusOne)
            i = (i + 1) & mask;
        larger[i] = cell;
    }
    cells.swap(larger);
}

std::pair<quint32, const std::u16string*> ConcurrentWordTable::intern(std::u16string_view word, size_t hash)
{
    const size_t number = hash >> (sizeof(size_t) * 8 - kShardBits);
    Shard& shard = *m_shards[number];
    std::lock_guard<std::mutex> guard(shard.lock);
    const quint32 upper = quint32(hash >> 32);
    size_t mask = shard.cells.size() - 1;
    size_t i = hash & mask;
    while (shard.cells[i].placePlusOne) {
        const Shard::Cell& cell = shard.cells[i];
        if (cell.hash == upper && shard.texts[cell.placePlusOne - 1] == word) {
            const quint32 place = cell.placePlusOne - 1;
            return {(quint32(number) << kPlaceBits) | place, &shard.texts[place]};
        }
        i = (i + 1) & mask;
    }
    const quint32 place = quint32(shard.texts.size());
    Q_ASSERT(place < (1u << kPlaceBits));
    // The deque keeps its strings in place as it grows, so the pointers the readers cache stay
    // valid.
    const std::u16string& kept = shard.texts.emplace_back(word);
    shard.cells[i] = Shard::Cell{place + 1, upper};
    if (shard.texts.size() * 2 > shard.cells.size())
        shard.grow();
    return {(quint32(number) << kPlaceBits) | place, &kept};
}

quint32 ConcurrentWordTable::Reader::intern(std::u16string_view word)
{
    const size_t hash = std::hash<std::u16string_view>()(word);
    Cached& cached = m_cache[hash & (m_cache.size() - 1)];
    // Equal hashes are checked against the word itself, so a collision costs a look-up only.
    if (cached.text && cached.hash == hash && cached.length == word.size()) {
        if (word.size() <= kInlineLength
                ? std::char_traits<char16_t>::compare(cached.inlineText, word.data(), word.size()) == 0
                : *cached.text == word)
            return cached.id;
    }
    const auto [id, text] = m_table.intern(word, hash);
    cached.hash = hash;
    cached.text = text;
    cached.id = id;
    // A word too long for the cell is told by its length and compared with the kept string.
    cached.length = quint16(std::min<size_t>(word.size(), 0xFFFF));
    if (word.size() <= kInlineLength)
        std::char_traits<char16_t>::copy(cached.inlineText, word.data(), word.size());
    return id;
}

std::vector<quint32> ConcurrentWordTable::number(std::deque<std::u16string>& texts)
{
    std::vector<quint32> offsets;
    offsets.reserve(m_shards.size());
    for (const std::unique_ptr<Shard>& shard : m_shards) {
        offsets.push_back(quint32(texts.size()));
        shard->cells = {};
        for (std::u16string& text : shard->texts)
            texts.push_back(std::move(text));
        shard->texts = {};
    }
    return offsets;
}

} // namespace vesk
