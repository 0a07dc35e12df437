// Selections made by the program rather than by the user.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::selectWithoutRecordingUse(const QUuid& id)
{
    Q_ASSERT_X(QThread::currentThread() == thread(), "VeskStore", "store used off the main thread");
    setSelectedIDs(QSet<QUuid>{id});
    setSelectedID(id);
}

} // namespace vesk
