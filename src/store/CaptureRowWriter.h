#pragma once
// Internal to src/store/: the capture worker's own connection to the library file. A large
// capture's row runs to megabytes, and writing it (and flushing it to the disk) would hold up the
// window; the worker writes it beside the main connection, which the busy timeout lets wait.
// Sentence vectors are written here too: one flush per item, and a wait behind any other writer,
// are too long for the main thread while a big import fills the disk.

#include "model/VeskItem.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <memory>
#include <optional>

namespace vesk {

class SQLiteDatabase;

class CaptureRowWriter {
public:
    explicit CaptureRowWriter(QString databasePath);
    ~CaptureRowWriter();
    CaptureRowWriter(const CaptureRowWriter&) = delete;
    CaptureRowWriter& operator=(const CaptureRowWriter&) = delete;

    // Writes the row and, when given, its rich text in one transaction; false when it could not
    // (the main thread then writes it, and says so if that fails too). Used from one thread.
    bool write(const VeskItem& item, const std::optional<QByteArray>& rtf);
    // Queues the item's vector for the next writeQueuedEmbeddings(); true when the queue was empty
    // (the caller then has the worker write it). Safe on any thread.
    bool queueEmbedding(const QUuid& id, const QString& model, const QList<double>& vector);
    // Writes every queued vector in one transaction: vectors that arrive while one flush is being
    // made go together into the next. Returns the reason for each vector that was not written.
    QStringList writeQueuedEmbeddings();
    // The connection, opened when needed; null when the file cannot be opened.
    SQLiteDatabase* database();

private:
    struct QueuedEmbedding {
        QUuid id;
        QString model;
        QList<double> vector;
    };

    QString m_databasePath;
    std::unique_ptr<SQLiteDatabase> m_database;
    QMutex m_queueMutex;
    QList<QueuedEmbedding> m_queuedEmbeddings;
};

} // namespace vesk
