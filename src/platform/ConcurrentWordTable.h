#pragma once

#include <QtGlobal>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Gives every distinct word an id while many threads read texts at once, holding each word once
// (per-thread tables would hold the common words once per thread, and then have to be merged).
// Words are spread over shards by their hash, each shard with its own lock; a small cache per
// reader answers the frequent words without taking a lock at all.
//
// Ids handed out while reading name a shard and a place in it; number() then gives the words
// dense ids, in shard order, and says how to turn one kind of id into the other.
class ConcurrentWordTable {
public:
    ConcurrentWordTable();
    ~ConcurrentWordTable();
    ConcurrentWordTable(const ConcurrentWordTable&) = delete;
    ConcurrentWordTable& operator=(const ConcurrentWordTable&) = delete;

    // One per reading thread, best kept for all that thread reads (a new one starts with an empty
    // cache); it must not outlive the table.
    class Reader {
    public:
        explicit Reader(ConcurrentWordTable& table) : m_table(table) {}
        quint32 intern(std::u16string_view word);

    private:
        // Most words fit in the cell itself, so that a word found in the cache costs one read
        // of memory instead of three (the cell, the kept string, the string's own buffer).
        static constexpr size_t kInlineLength = 21;
        struct alignas(64) Cached {
            size_t hash = 0;
            const std::u16string* text = nullptr; // kept in place by its shard; null: empty
            quint32 id = 0;
            quint16 length = 0;
            char16_t inlineText[kInlineLength] = {};
        };
        static_assert(sizeof(Cached) == 64);
        ConcurrentWordTable& m_table;
        std::vector<Cached> m_cache = std::vector<Cached>(size_t(1) << 15);
    };

    // Moves the words out, in dense order, and returns, for each shard, the dense id of its
    // first word. The table is empty afterwards.
    std::vector<quint32> number(std::deque<std::u16string>& texts);
    // The dense id of a reading id.
    static quint32 dense(quint32 readingID, const std::vector<quint32>& offsets)
    {
        return offsets[readingID >> kPlaceBits] + (readingID & ((1u << kPlaceBits) - 1));
    }

private:
    static constexpr int kShardBits = 6;
    static constexpr int kPlaceBits = 32 - kShardBits;
    // An open-addressing table: each cell holds a place plus one (0: empty) and the upper half
    // of the word's hash, so that a look-up usually touches one cell and one string.
    struct Shard {
        struct Cell {
            quint32 placePlusOne = 0;
            quint32 hash = 0;
        };
        std::mutex lock;
        std::deque<std::u16string> texts;
        std::vector<Cell> cells = std::vector<Cell>(1024);
        void grow();
    };
    std::pair<quint32, const std::u16string*> intern(std::u16string_view word, size_t hash);

    std::vector<std::unique_ptr<Shard>> m_shards;
};

} // namespace vesk
