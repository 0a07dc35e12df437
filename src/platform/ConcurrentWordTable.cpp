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
    numbering.m_inOrder.assign(m_readers.size(), 1);
    const auto first = quint32(texts.size());
    WordTable all;
    for (size_t reader = 0; reader < m_readers.size(); ++reader) {
        const WordTable& words = *m_readers[reader];
        std::vector<quint32>& dense = numbering.m_byReader[reader];
        // A word never put to the use has no dense id; no list holds it.
        dense.assign(words.size(), std::numeric_limits<quint32>::max());
        quint32 last = 0;
        bool any = false;
        for (quint32 id = 0; id < words.size(); ++id) {
            if (!words.isUsedAs(id, use))
                continue;
            dense[id] = first + all.intern(words.text(id));
            if (any && dense[id] <= last)
                numbering.m_inOrder[reader] = 0;
            last = dense[id];
            any = true;
        }
    }
    for (quint32 id = 0; id < all.size(); ++id)
        texts.emplace_back(all.text(id));
    return numbering;
}

} // namespace vesk
