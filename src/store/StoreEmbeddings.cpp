// Sentence-embedding tasks: without an embedding engine there is nothing to compute.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::embedItems(const QList<VeskItem>&) {}
void VeskStore::embedItem(const VeskItem&) {}

} // namespace vesk
