#pragma once
// Internal to src/store/: the capture worker's own connection to the library file. A large
// capture's row runs to megabytes, and writing it (and flushing it to the disk) would hold up the
// window; the worker writes it beside the main connection, which the busy timeout lets wait.

#include "model/VeskItem.h"

#include <QByteArray>
#include <QString>
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

private:
    QString m_databasePath;
    std::unique_ptr<SQLiteDatabase> m_database;
};

} // namespace vesk
