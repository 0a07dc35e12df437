// Bring Back delivery: nothing is scheduled yet, so nothing is due.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::deliverDueBringBacks() {}
void VeskStore::clearBroughtBack(const QUuid&) {}

} // namespace vesk
