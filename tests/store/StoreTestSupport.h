#pragma once

#include "common/StoreFixture.h"

namespace vesk::test {

using StoreTest = StoreFixture;

// What a host's indexOfItem answers for a plain list, for the fake hosts of the area tests.
inline qsizetype positionInList(const QList<VeskItem>& items, const QUuid& id)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items[i].id == id)
            return i;
    }
    return -1;
}

} // namespace vesk::test
