// Items related to each other: the source an item was derived from.
#include "store/VeskStore.h"

namespace vesk {

VeskItem VeskStore::sourceItem(const VeskItem& item) const
{
    assertMainThread();
    if (!item.sourceItemID)
        return item;
    const qsizetype index = indexOfItem(*item.sourceItemID);
    return index < 0 ? item : m_items.at(index);
}

} // namespace vesk
