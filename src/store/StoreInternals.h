#pragma once

#include "store/LibraryItems.h"
#include "store/VeskStore.h"

namespace vesk {

class SQLiteDatabase;
struct SearchState;

// The store's internals, for tests and benchmarks that set up a library without going through
// the operations or look at what the operations left behind. Nothing in the application uses it.
class StoreInternals {
public:
    static void setItems(VeskStore& store, const QList<VeskItem>& items) { store.m_library->setItems(items); }
    static void setFilteredItems(VeskStore& store, const QList<VeskItem>& items) { store.m_library->setFilteredItems(items); }
    static SQLiteDatabase* database(const VeskStore& store) { return store.database(); }
    static SQLiteDatabase* backgroundDatabase(VeskStore& store) { return store.backgroundDatabase(); }
    // The search area's state (store/SearchState.h).
    static SearchState& searchState(VeskStore& store);
};

} // namespace vesk
