#include "grid/GridItems.h"

#include <utility>

namespace vesk {

GridItems GridItems::readInPlace(const QList<VeskItem>& list)
{
    GridItems items;
    items.m_inPlace = &list;
    items.m_inPlaceData = list.constData();
    items.m_inPlaceSize = list.size();
    return items;
}

bool GridItems::isSameListAs(const GridItems& other) const
{
    if (m_inPlace || other.m_inPlace) {
        return m_inPlace == other.m_inPlace && m_inPlaceData == other.m_inPlaceData
            && m_inPlaceSize == other.m_inPlaceSize;
    }
    return m_own.size() == other.m_own.size() && m_own.isSharedWith(other.m_own);
}

QList<VeskItem> GridItems::takeOwn()
{
    return std::exchange(m_own, QList<VeskItem>());
}

} // namespace vesk
