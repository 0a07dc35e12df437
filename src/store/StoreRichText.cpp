#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include "platform/Log.h"

namespace vesk {

void VeskStore::updateRichText(const QUuid& id, const QByteArray& rtf)
{
    assertMainThread();
    if (m_database) {
        if (auto written = m_database->updateRichText(id, rtf); !written) {
            // The shown body keeps its old state so the pane never claims a change that was lost.
            veskLog(QStringLiteral("Vesk rich-text update error: ") + written.error().logText());
            return;
        }
    }
    QHash<QUuid, QByteArray> bodies = m_richTextByID;
    bodies.insert(id, rtf);
    setRichTextByID(bodies);
    m_services.recoverySnapshots->noteChange();
}

} // namespace vesk
