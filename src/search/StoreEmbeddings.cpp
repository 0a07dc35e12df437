// Sentence-embedding tasks; the semantic search work fills these in.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::embedItems(const QList<VeskItem>&) {}
void VeskStore::embedItem(const VeskItem&) {}

} // namespace vesk
