#include "platform/ConcurrentWordTable.h"

#include <numeric>

namespace vesk {

ConcurrentWordTable::ConcurrentWordTable(size_t readers)
{
    m_readers.reserve(readers);
    for (size_t i = 0; i < readers; ++i)
        m_readers.push_back(std::make_unique<WordTable>());
}

ConcurrentWordTable::~ConcurrentWordTable() = default;

ConcurrentWordTable::Numbering ConcurrentWordTable::number(std::deque<std::u16string>& texts)
{
    Numbering numbering;
    numbering.m_byReader.resize(m_readers.size());
    if (m_readers.empty())
        return numbering;
    // The first reader's table takes in the others' words: its own ids are the dense ones.
    WordTable& all = *m_readers.front();
    numbering.m_byReader.front().resize(all.size());
    std::iota(numbering.m_byReader.front().begin(), numbering.m_byReader.front().end(), quint32(0));
    for (size_t reader = 1; reader < m_readers.size(); ++reader) {
        const WordTable& words = *m_readers[reader];
        std::vector<quint32>& dense = numbering.m_byReader[reader];
        dense.resize(words.size());
        for (quint32 id = 0; id < words.size(); ++id)
            dense[id] = all.intern(words.text(id));
        m_readers[reader].reset();
    }
    const size_t first = texts.size();
    for (quint32 id = 0; id < all.size(); ++id)
        texts.emplace_back(all.text(id));
    m_readers.clear();
    // A caller's texts that were there before come first.
    if (first > 0) {
        for (std::vector<quint32>& dense : numbering.m_byReader) {
            for (quint32& id : dense)
                id += quint32(first);
        }
    }
    return numbering;
}

} // namespace vesk
