#pragma once

#include "store/VeskStore.h"

#include <memory>

namespace vesk {

struct DatabaseError;
struct EmbeddingReading;
struct LibraryReading;
class SearchIndex;

// What the store does at start-up with what it reads. Start-up opens the database, shows the
// newest items as the first list and starts the search pipelines; the rest of the library is
// read, and its search index built, on workers (LibraryStartup), and taken as it arrives, then
// the store starts its tasks, watchers and face backfill. A library that has nothing to read in
// the background (none, empty, or still a legacy archive) loads at once. The store's
// waitForStartup() waits for the start-up workers, for tests and tools that need the whole
// library at once. It works on the store's areas.
class VeskStore::StartupLoading {
public:
    explicit StartupLoading(VeskStore& store) : m_store(store) {}

    // Opens the library and loads it, at once or in the background; a library that cannot be
    // opened still starts, into a state that says why.
    void start();
    // The whole library read by start-up's worker, taken in with what changed meanwhile.
    void finishReadingLibrary(const std::shared_ptr<LibraryReading>& reading);
    // What start-up does once items() holds the library and search is ready: reminders,
    // thumbnails, watchers, face backfill. (Missing embeddings are started once the stored ones
    // are read.) Without withFaceBackfill the backfill is left to whoever starts it.
    void startLibraryTasks(bool withFaceBackfill = true);

private:
    // False when there is nothing to read in the background.
    bool beginBackgroundLoading();
    void loadAtOnce();
    void loadItemsFromDatabase();
    // Migrates the archive into the empty database; false (logged) when it failed.
    bool migrateLegacyArchiveIntoDatabase();
    void reclassifyImageFiles();
    void loadRichText();
    void loadEmbeddings();
    // Managed paths stored under another data folder point at the copies in this one, in memory.
    void relocateManagedPaths();
    // The items could not be read: the library is unreadable, and no write may go into it.
    void failItemsLoad(const DatabaseError& error);
    void startThumbnailPrewarm();
    void startSearchPipelines();
    void finishBuildingSearch(const std::shared_ptr<SearchIndex>& index);
    void buildNearDuplicatesAtStart();
    void finishReadingEmbeddings(const std::shared_ptr<EmbeddingReading>& reading);
    // Start-up ends without a library to search (its items could not be read).
    void finishStartupWithoutLibrary();

    VeskStore& m_store;
};

} // namespace vesk
