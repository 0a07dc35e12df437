// Bring Back delivery; the Bring Back work fills these in.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::deliverDueBringBacks() {}
void VeskStore::clearBroughtBack(const QUuid&) {}

} // namespace vesk
