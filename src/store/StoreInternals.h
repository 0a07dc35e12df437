#pragma once

#include "store/VeskStore.h"

namespace vesk {

class SQLiteDatabase;
class SerialExecutor;
struct SearchState;

// The store's internals, for tests and benchmarks that set up a library without going through
// the operations or look at what the operations left behind. Nothing in the application uses it;
// it reaches the areas that hold what it gives.
class StoreInternals {
public:
    static void setItems(VeskStore& store, const QList<VeskItem>& items);
    static void setFilteredItems(VeskStore& store, const QList<VeskItem>& items);
    // None when the database could not be opened.
    static SQLiteDatabase* database(const VeskStore& store);
    // The second connection, which writes large captures and sentence vectors off the main
    // thread, once the library file has passed its check and the writes queued so far are done.
    // None without a database.
    static SQLiteDatabase* backgroundDatabase(VeskStore& store);
    // The search area's state (store/SearchState.h).
    static SearchState& searchState(VeskStore& store);
    // The worker start-up reads and builds on, one job after the other, while it reads the
    // library in the background.
    static SerialExecutor& startupWorker(VeskStore& store);
    // Waits until no photo is being cut into face previews (see FaceLibrary::waitForFacePreviews).
    static void waitForFacePreviews(VeskStore& store);
    // Applies an item as the store's background work does (an analysis result, a package's
    // contents), not as the user's change.
    static bool updateItemFromWork(VeskStore& store, const VeskItem& item);
};

} // namespace vesk
