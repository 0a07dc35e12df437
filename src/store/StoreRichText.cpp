#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include "model/ItemFileKinds.h"
#include "model/TextMarkers.h"
#include "platform/Log.h"
#include "richtext/RtfReader.h"
#include "search/SearchText.h"
#include "store/FailureWording.h"

namespace vesk {

namespace {

// Whether the reader takes the stored body whole. A body it stops short in was shown and edited
// as its beginning only: storing what came back would cut the rest off.
bool readsWhole(const std::optional<QByteArray>& stored)
{
    if (!stored)
        return true;
    bool truncated = false;
    (void)parseRtf(*stored, RtfReaderLimits{}, &truncated);
    return !truncated;
}

const QString kLongerThanRead = QStringLiteral("the stored body is longer than Vesk reads; it is kept as it is");

// Text items that the edit sheet may change: not secure, not captured from a web page.
bool isEditableTextItem(const VeskItem& item)
{
    if (item.kind != VeskKind::Text)
        return false;
    const TextMarkers markers = textMarkers(item.searchableText);
    return !markers.secret && !markers.creditCard && !markers.htmlSource;
}

} // namespace

void VeskStore::updateRichText(const QUuid& id, const QByteArray& rtf)
{
    assertMainThread();
    if (!readsWhole(richText(id))) {
        veskLog(QStringLiteral("Vesk rich-text update error: ") + kLongerThanRead);
        return;
    }
    if (m_database) {
        if (auto written = m_database->updateRichText(id, rtf); !written) {
            // The shown body keeps its old state so the pane never claims a change that was lost.
            veskLog(QStringLiteral("Vesk rich-text update error: ") + written.error().logText());
            const qsizetype index = indexOfItem(id);
            reportFailure(QStringLiteral("Change not saved"),
                          QStringLiteral("The change to ") + quotedItemTitle(index >= 0 ? m_items.at(index).title : QString())
                              + QStringLiteral(" could not be written to the library: ")
                              + written.error().plainReason() + QLatin1Char('.'));
            return;
        }
    }
    QHash<QUuid, QByteArray> bodies = m_richTextByID;
    bodies.insert(id, rtf);
    setRichTextByID(bodies);
    m_services.recoverySnapshots->noteChange();
}

bool VeskStore::saveItemEdits(const QUuid& id, const QString& title, const QString& plainText,
                              const std::optional<QByteArray>& rtf)
{
    assertMainThread();
    const qsizetype index = indexOfItem(id);
    if (index < 0 || !isEditableTextItem(m_items[index]))
        return false;
    const QString text = plainText.trimmed();
    if (text.isEmpty())
        return false;
    if (rtf && !readsWhole(richText(id))) {
        veskLog(QStringLiteral("Vesk rich-text edit save error: ") + kLongerThanRead);
        return false;
    }

    VeskItem updated = m_items[index];
    const QString name = title.trimmed();
    updated.title = name.isEmpty() ? deriveTitle(text) : name;
    updated.kind = VeskKind::Text;
    updated.text = text;
    updated.searchableText = *updated.text; // one buffer for both

    // The item and its body are written together: a failed write leaves both as they were, and
    // the list, the search index and the shown body keep the old item too.
    // A new item whose row waits for the check of the library file is written, edits and all,
    // once the file has passed.
    if (m_database && !m_savingItemIDs.contains(id)) {
        if (auto saved = m_database->updateItemWithRichText(updated, rtf); !saved) {
            veskLog(QStringLiteral("Vesk rich-text edit save error: ") + saved.error().logText());
            return false;
        }
    }
    adoptSavedItem(updated);
    if (rtf) {
        QHash<QUuid, QByteArray> bodies = m_richTextByID;
        bodies.insert(id, *rtf);
        setRichTextByID(bodies);
    }
    m_services.recoverySnapshots->noteChange();
    return true;
}

} // namespace vesk
