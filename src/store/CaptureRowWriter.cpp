#include "store/CaptureRowWriter.h"

#include "store/SQLiteDatabase.h"

namespace vesk {

CaptureRowWriter::CaptureRowWriter(QString databasePath) : m_databasePath(std::move(databasePath)) {}

CaptureRowWriter::~CaptureRowWriter() = default;

SQLiteDatabase* CaptureRowWriter::database()
{
    if (!m_database) {
        auto opened = SQLiteDatabase::open(m_databasePath);
        if (!opened)
            return nullptr;
        m_database = std::move(opened.value());
    }
    return m_database.get();
}

bool CaptureRowWriter::write(const VeskItem& item, const std::optional<QByteArray>& rtf)
{
    SQLiteDatabase* database = this->database();
    return database && database->updateItemWithRichText(item, rtf).hasValue();
}

bool CaptureRowWriter::queueEmbedding(const QUuid& id, const QString& model, const QList<double>& vector)
{
    const QMutexLocker lock(&m_queueMutex);
    m_queuedEmbeddings.append({id, model, vector});
    return m_queuedEmbeddings.size() == 1;
}

QStringList CaptureRowWriter::writeQueuedEmbeddings()
{
    QList<QueuedEmbedding> queued;
    {
        const QMutexLocker lock(&m_queueMutex);
        queued.swap(m_queuedEmbeddings);
    }
    if (queued.isEmpty())
        return {};
    SQLiteDatabase* database = this->database();
    QString failure = QStringLiteral("the library file could not be opened");
    if (database) {
        const auto written = database->runInTransaction([&]() -> SQLiteDatabase::VoidResult {
            for (const QueuedEmbedding& embedding : queued) {
                if (auto saved = database->updateEmbedding(embedding.id, embedding.model, embedding.vector); !saved)
                    return saved;
            }
            return {};
        });
        if (written)
            return {};
        failure = written.error().logText();
    }
    // Nothing of a failed transaction is kept.
    return QStringList(queued.size(), failure);
}

} // namespace vesk
