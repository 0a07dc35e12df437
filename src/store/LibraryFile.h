#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace vesk {

class CaptureRowWriter;
class SerialExecutor;
class SQLiteDatabase;

// The library file as the store reaches it: the main thread's connection, the capture worker with
// its own connection for the rows and vectors written off the main thread, the worker for work over
// the whole library after start-up, and the marker that remembers that the library has held items.
// Workers are made when first needed and waited for when this goes, after every area that queues
// work on them. The library folder's paths are the store's (VeskStoreSaving.cpp): the legacy
// archive "vesks.json", which migrateLegacyArchive() moves aside to "vesks-migrated.json"
// (replacing an older one), and the managed folder "Items".
class LibraryFile {
public:
    // dataDirectory holds the marker; mayWriteInBackground says whether new rows may go through
    // the second connection now (not while the library has a problem, is read-only or waits for
    // its check).
    LibraryFile(QString dataDirectory, std::function<bool()> mayWriteInBackground);
    ~LibraryFile();

    LibraryFile(const LibraryFile&) = delete;
    LibraryFile& operator=(const LibraryFile&) = delete;

    // None when the database could not be opened; the store then works in memory only.
    SQLiteDatabase* database() const { return m_database.get(); }
    void adopt(std::unique_ptr<SQLiteDatabase> database);
    // Lets go of the main thread's connection: the library cannot be read, or was found damaged
    // (then the second connection goes too).
    void close();
    void closeWithWriter();

    // The capture worker: large captures, the rows of imports and captures, vectors, face rows.
    SerialExecutor& captureWorker();
    // The capture worker's connection, made when first needed; none when no database is open or
    // the library cannot take writes in the background now.
    std::shared_ptr<CaptureRowWriter> backgroundWriter();
    // The second connection once the writes queued so far are done; none as for backgroundWriter.
    SQLiteDatabase* backgroundDatabase();

    // Work over the whole library after start-up (picking the pictures the face scan still has to
    // look at, the managed folder's sweep, re-routing stored packages), on a background thread of
    // its own: never in the global pool, whose threads Qt's painting waits for.
    SerialExecutor& libraryTasksWorker();

    // Raised by a clear of the library: a row the worker wrote before it is gone from the file,
    // and is written again as its item enters the list.
    int clears() const { return m_clears; }
    void noteClear() { ++m_clears; }

    // The legacy archive is migrated only into a database that has never held items; a marker in
    // the library folder remembers that it has.
    bool hasHeldItems() const;
    void markHasHeldItems();

private:
    QString markerPath() const;

    QString m_dataDirectory;
    std::function<bool()> m_mayWriteInBackground;
    std::unique_ptr<SQLiteDatabase> m_database;
    int m_clears = 0;
    // Declared after the connection: the workers go first, with what they still write.
    std::unique_ptr<SerialExecutor> m_libraryTasksWorker;
    std::unique_ptr<SerialExecutor> m_captureWorker;
    std::shared_ptr<CaptureRowWriter> m_captureWriter;
};

} // namespace vesk
