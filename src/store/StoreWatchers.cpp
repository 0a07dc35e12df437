// Creation of the Inbox and cloud inbox watchers; the inbox watcher work fills this in.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::startInboxWatchers() {}

} // namespace vesk
