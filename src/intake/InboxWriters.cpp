#include "intake/InboxWriters.h"

#include "platform/FolderWriteEvents.h"
#include "platform/OpenFileWriters.h"

#include <QDir>

namespace vesk {

InboxWriters::InboxWriters(QString inbox, FolderWriteEvents* events)
    : m_inbox(QDir::cleanPath(inbox)), m_events(events)
{
}

void InboxWriters::beginScan()
{
    if (m_events)
        m_events->catchUp();
    m_openForWriting.reset();
}

bool InboxWriters::isBeingWritten(const QString& path)
{
    if (isWrittenByEvents(path))
        return true;
    if (!m_openForWriting)
        m_openForWriting = filesOpenForWriting(m_inbox);
    return isAmong(*m_openForWriting, path);
}

bool InboxWriters::isWrittenByEvents(const QString& path) const
{
    return m_events && m_events->isBeingWritten(path);
}

bool InboxWriters::isAmong(const QSet<QString>& openForWriting, const QString& path) const
{
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(m_inbox + QLatin1Char('/')))
        return false;
    const QString relative = clean.mid(m_inbox.size() + 1);
    for (const QString& open : openForWriting) {
        if (open == relative || (open.startsWith(relative) && open.at(relative.size()) == QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace vesk
