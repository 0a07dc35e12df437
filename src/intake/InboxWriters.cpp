#include "intake/InboxWriters.h"

#include "platform/FolderWriteEvents.h"

namespace vesk {

void InboxWriters::beginScan()
{
    if (m_events)
        m_events->catchUp();
}

bool InboxWriters::isWrittenByEvents(const QString& path) const
{
    return m_events && m_events->isBeingWritten(path);
}

} // namespace vesk
