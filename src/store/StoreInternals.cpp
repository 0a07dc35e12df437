#include "store/StoreInternals.h"

#include "store/LibraryFile.h"
#include "store/LibraryHealth.h"
#include "store/LibraryItems.h"
#include "store/LibrarySearch.h"
#include "store/LibraryStartup.h"

namespace vesk {

void StoreInternals::setItems(VeskStore& store, const QList<VeskItem>& items)
{
    store.m_library->setItems(items);
}

void StoreInternals::setFilteredItems(VeskStore& store, const QList<VeskItem>& items)
{
    store.m_library->setFilteredItems(items);
}

SQLiteDatabase* StoreInternals::database(const VeskStore& store)
{
    return store.m_file->database();
}

SQLiteDatabase* StoreInternals::backgroundDatabase(VeskStore& store)
{
    // There is none until the library file has passed its check.
    store.m_health->waitForLibraryCheck();
    return store.m_file->backgroundDatabase();
}

bool StoreInternals::updateItemFromWork(VeskStore& store, const VeskItem& item)
{
    return store.updateItemFromWork(item);
}

SerialExecutor& StoreInternals::startupWorker(VeskStore& store)
{
    return store.m_startup->worker();
}

SearchState& StoreInternals::searchState(VeskStore& store)
{
    return *store.m_search->m_state;
}

} // namespace vesk
