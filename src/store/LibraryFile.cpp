#include "store/LibraryFile.h"

#include "platform/DurableFile.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "store/CaptureRowWriter.h"
#include "store/SQLiteDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

namespace vesk {

LibraryFile::LibraryFile(QString dataDirectory, std::function<bool()> mayWriteInBackground)
    : m_dataDirectory(std::move(dataDirectory)), m_mayWriteInBackground(std::move(mayWriteInBackground))
{
}

LibraryFile::~LibraryFile() = default;

void LibraryFile::adopt(std::unique_ptr<SQLiteDatabase> database)
{
    m_database = std::move(database);
}

void LibraryFile::close()
{
    m_database.reset();
}

void LibraryFile::closeWithWriter()
{
    m_database.reset();
    m_captureWriter.reset();
}

SerialExecutor& LibraryFile::captureWorker()
{
    if (!m_captureWorker)
        m_captureWorker = std::make_unique<SerialExecutor>(QThread::LowPriority);
    return *m_captureWorker;
}

std::shared_ptr<CaptureRowWriter> LibraryFile::backgroundWriter()
{
    if (!m_database || !m_mayWriteInBackground())
        return nullptr;
    (void)captureWorker();
    if (!m_captureWriter)
        m_captureWriter = std::make_shared<CaptureRowWriter>(m_database->filePath());
    return m_captureWriter;
}

SQLiteDatabase* LibraryFile::backgroundDatabase()
{
    const std::shared_ptr<CaptureRowWriter> writer = backgroundWriter();
    if (!writer)
        return nullptr;
    // Waiting on a future of the queue would run that one job at once, ahead of those before it.
    m_captureWorker->waitForDone();
    return writer->database();
}

SerialExecutor& LibraryFile::libraryTasksWorker()
{
    if (!m_libraryTasksWorker)
        m_libraryTasksWorker = std::make_unique<SerialExecutor>(QThread::LowPriority);
    return *m_libraryTasksWorker;
}

QString LibraryFile::markerPath() const
{
    return QDir(m_dataDirectory).filePath(QStringLiteral(".vesk-library-has-held-items"));
}

bool LibraryFile::hasHeldItems() const
{
    return QFileInfo::exists(markerPath());
}

void LibraryFile::markHasHeldItems()
{
    if (hasHeldItems())
        return;
    if (const Expected<void, DurableWriteFailure> written = writeFileDurably(markerPath(), QByteArrayLiteral("1\n")); !written)
        veskLog(QStringLiteral("Vesk legacy JSON archive error: ") + written.error().reason.logText());
}

} // namespace vesk
