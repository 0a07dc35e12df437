#pragma once
// Whether anyone still writes an entry of an inbox, as far as can be told: the folder events saw
// one of its files created, opened or written and not closed since (whichever user's process it
// was), or a process this user may look at holds one of its files open for writing, under any
// name. A writer that pauses changes neither size nor time, so only this tells its file from a
// finished one.

#include "platform/OpenFileWriters.h"

#include <QSet>
#include <QString>
#include <functional>

namespace vesk {

class FolderWriteEvents;

class InboxWriters {
public:
    // Which of the files asked about processes hold open for writing (filesOpenForWriting).
    using Look = std::function<QSet<FileIdentity>(const QSet<FileIdentity>&)>;

    // events may be null (not watching): then only the processes tell.
    explicit InboxWriters(FolderWriteEvents* events) : m_events(events) {}

    // Starts a scan: the folder events that have arrived are read.
    void beginScan();
    // What the folder events say of the entry at path (a file, or any file below it), read up to
    // now.
    bool isWrittenByEvents(const QString& path) const;

private:
    FolderWriteEvents* m_events;
};

} // namespace vesk
