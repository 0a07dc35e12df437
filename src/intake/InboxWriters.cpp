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
    if (m_events && m_events->isBeingWritten(path))
        return true;
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(m_inbox + QLatin1Char('/')))
        return false;
    const QString relative = clean.mid(m_inbox.size() + 1);
    if (!m_openForWriting)
        m_openForWriting = filesOpenForWriting(m_inbox);
    for (const QString& open : std::as_const(*m_openForWriting)) {
        if (open == relative || (open.startsWith(relative) && open.at(relative.size()) == QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace vesk
