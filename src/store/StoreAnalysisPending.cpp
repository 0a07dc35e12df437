// The analysis of a newly imported image; the image-analysis work replaces this with the real
// pipeline (text recognition, labels, faces).
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::analyzeItem(const QString&, const QUuid&)
{
    setIndexingCount(std::max(0, m_indexingCount - 1));
}

} // namespace vesk
