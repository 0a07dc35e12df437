#include "platform/ConcurrentWordTable.h"

#include <limits>

namespace vesk {

ConcurrentWordTable::ConcurrentWordTable(size_t readers)
{
    m_readers.reserve(readers);
    for (size_t i = 0; i < readers; ++i)
        m_readers.push_back(std::make_unique<WordTable>());
}

ConcurrentWordTable::~ConcurrentWordTable() = default;

ConcurrentWordTable::Numbering ConcurrentWordTable::number(std::deque<std::u16string>& texts, int use) const
{
    Numbering numbering;
    numbering.m_byReader.resize(m_readers.size());
    const auto first = quint32(texts.size());
    WordTable all;
    for (size_t reader = 0; reader < m_readers.size(); ++reader) {
        const WordTable& words = *m_readers[reader];
        std::vector<quint32>& dense = numbering.m_byReader[reader];
        // A word never put to the use has no dense id; no list holds it.
        dense.assign(words.size(), std::numeric_limits<quint32>::max());
        for (quint32 id = 0; id < words.size(); ++id) {
            if (words.isUsedAs(id, use))
                dense[id] = first + all.intern(words.text(id));
        }
    }
    for (quint32 id = 0; id < all.size(); ++id)
        texts.emplace_back(all.text(id));
    return numbering;
}

} // namespace vesk
