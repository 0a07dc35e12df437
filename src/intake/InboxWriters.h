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
    // True when the file at path, or any file below it (a package), is being written. Looks at
    // the processes on the calling thread, the first time a scan asks.
    bool isBeingWritten(const QString& path);

    // The two halves of isBeingWritten, for a scan that looks at the processes elsewhere: what
    // the folder events say (read up to now), and whether path or a file below it is among the
    // files a look at the processes found open for writing (paths relative to the inbox).
    bool isWrittenByEvents(const QString& path) const;
    bool isAmong(const QSet<QString>& openForWriting, const QString& path) const;

private:
    QString m_inbox;
    FolderWriteEvents* m_events;
    std::optional<QSet<QString>> m_openForWriting;
};

} // namespace vesk
