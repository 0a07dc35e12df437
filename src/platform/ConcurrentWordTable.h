#pragma once

#include "platform/WordTable.h"

#include <QtGlobal>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Gives every distinct word an id while many threads read texts at once. Each reading thread
// has a table of its own, so that the tens of millions of look-ups of a whole library take no
// lock and share no memory that another core writes; number() then merges the tables, at the
// cost of their distinct words, and says which dense id each reader's id stands for.
class ConcurrentWordTable {
public:
    // Room for this many readers, numbered 0 to readers - 1.
    explicit ConcurrentWordTable(size_t readers);
    ~ConcurrentWordTable();
    ConcurrentWordTable(const ConcurrentWordTable&) = delete;
    ConcurrentWordTable& operator=(const ConcurrentWordTable&) = delete;

    // Reader number n's ids; one thread at a time reads under a number. It must not outlive the
    // table.
    class Reader {
    public:
        Reader(ConcurrentWordTable& table, size_t number) : m_words(*table.m_readers[number]) {}
        quint32 intern(std::u16string_view word, int use = 0) { return m_words.intern(word, use); }
        // See WordTable::internOnce.
        std::optional<quint32> internOnce(std::u16string_view word, int use, quint32 mark)
        {
            return m_words.internOnce(word, use, mark);
        }
        // See WordTable::queueOnce.
        void queueOnce(std::u16string_view word, int use, quint32 mark, std::vector<quint32>& ids)
        {
            m_words.queueOnce(word, use, mark, ids);
        }
        void flush() { m_words.flush(); }

    private:
        WordTable& m_words;
    };

    // The dense id of each reader's ids.
    class Numbering {
    public:
        quint32 dense(size_t reader, quint32 readingID) const { return m_byReader[reader][readingID]; }
        // Whether the reader's ids, of words put to the use, are in the order of their dense ids:
        // an ascending list of them stays ascending.
        bool keepsOrder(size_t reader) const { return m_inOrder[reader]; }

    private:
        friend class ConcurrentWordTable;
        std::vector<std::vector<quint32>> m_byReader;
        std::vector<quint8> m_inOrder;
    };

    // Appends the words put to the use to texts in dense order, each once, and says which
    // reader's id is which of them.
    Numbering number(std::deque<std::u16string>& texts, int use = 0) const;
    // Lets go of all words; no reader may read any more.
    void clear() { m_readers.clear(); }

private:
    std::vector<std::unique_ptr<WordTable>> m_readers;
};

} // namespace vesk
