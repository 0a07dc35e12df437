// The capture worker and its own connection to the library file, shared by large captures, the
// rows of imports, vectors and face rows.
#include "store/VeskStore.h"

#include "platform/SerialExecutor.h"
#include "store/CaptureRowWriter.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

SerialExecutor& VeskStore::captureWorker()
{
    if (!m_captureWorker)
        m_captureWorker = std::make_shared<SerialExecutor>(QThread::LowPriority);
    return *m_captureWorker;
}

std::shared_ptr<CaptureRowWriter> VeskStore::backgroundWriter()
{
    // Until the library file has passed its check, new rows wait on the main thread.
    if (!m_database || libraryProblem() || readOnlyReason() || libraryCheckPending())
        return nullptr;
    (void)captureWorker();
    if (!m_captureWriter)
        m_captureWriter = std::make_shared<CaptureRowWriter>(m_database->filePath());
    return m_captureWriter;
}

SQLiteDatabase* VeskStore::backgroundDatabase()
{
    // There is none until the library file has passed its check.
    waitForLibraryCheck();
    const std::shared_ptr<CaptureRowWriter> writer = backgroundWriter();
    if (!writer)
        return nullptr;
    // Waiting on a future of the queue would run that one job at once, ahead of those before it.
    m_captureWorker->waitForDone();
    return writer->database();
}

} // namespace vesk
