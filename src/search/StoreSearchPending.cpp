// Placeholders so the store links before the search area's own definitions land. The search
// engineer deletes this file when StoreSearch and its neighbours define these operations.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::loadUsageSignals() {}
void VeskStore::loadManualTags() {}
void VeskStore::rebuildSearchIndex() {}
void VeskStore::refreshFilteredItems(const QString&) {}
void VeskStore::refreshSearchAfterChange() {}
void VeskStore::startDeepSearch(const QString&) {}
void VeskStore::recordUsage(const QUuid&) {}

} // namespace vesk
