#pragma once
// Whether anyone still writes an entry of an inbox, as far as can be told: the folder events saw
// a file written and not closed since, or some process holds a file open for writing. A writer
// that pauses changes neither size nor time, so only this tells its file from a finished one.
// The processes are looked at once per scan, and only when a scan asks.

#include <QSet>
#include <QString>
#include <optional>

namespace vesk {

class FolderWriteEvents;

class InboxWriters {
public:
    // events may be null (not watching): then only the processes are asked.
    InboxWriters(QString inbox, FolderWriteEvents* events);

    // Starts a scan: the folder events that have arrived are read, and the processes will be
    // looked at afresh.
    void beginScan();
    // True when the file at path, or any file below it (a package), is being written.
    bool isBeingWritten(const QString& path);

private:
    QString m_inbox;
    FolderWriteEvents* m_events;
    std::optional<QSet<QString>> m_openForWriting;
};

} // namespace vesk
