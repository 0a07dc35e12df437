#include "store/RichTextBodies.h"

#include "model/ItemFileKinds.h"
#include "model/ServiceInterfaces.h"
#include "model/TextMarkers.h"
#include "platform/Log.h"
#include "richtext/RtfReader.h"
#include "search/SearchText.h"
#include "store/FailureWording.h"
#include "store/RichTextHost.h"
#include "store/SQLiteDatabase.h"

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

RichTextBodies::RichTextBodies(std::shared_ptr<RecoverySnapshotService> snapshots, RichTextHost& host, QObject* parent)
    : QObject(parent), m_snapshots(std::move(snapshots)), m_host(host)
{
}

void RichTextBodies::setBodies(const QHash<QUuid, QByteArray>& value)
{
    if (m_bodies == value)
        return;
    m_bodies = value;
    emit bodiesChanged();
}

std::optional<QByteArray> RichTextBodies::body(const QUuid& id) const
{
    const auto it = m_bodies.constFind(id);
    if (it == m_bodies.cend())
        return std::nullopt;
    return *it;
}

void RichTextBodies::adopt(const QUuid& id, const QByteArray& rtf)
{
    if (const auto it = m_bodies.constFind(id); it != m_bodies.cend() && *it == rtf)
        return;
    m_bodies.insert(id, rtf);
    emit bodiesChanged();
}

void RichTextBodies::update(const QUuid& id, const QByteArray& rtf)
{
    if (!readsWhole(body(id))) {
        veskLog(QStringLiteral("Vesk rich-text update error: ") + kLongerThanRead);
        return;
    }
    if (SQLiteDatabase* database = m_host.database()) {
        if (auto written = database->updateRichText(id, rtf); !written) {
            // The shown body keeps its old state so the pane never claims a change that was lost.
            veskLog(QStringLiteral("Vesk rich-text update error: ") + written.error().logText());
            const std::optional<VeskItem> item = m_host.currentItem(id);
            m_host.reportFailure(QStringLiteral("Change not saved"),
                                 QStringLiteral("The change to ") + quotedItemTitle(item ? item->title : QString())
                                     + QStringLiteral(" could not be written to the library: ")
                                     + m_host.refusalReason(written.error()) + QLatin1Char('.'));
            return;
        }
    }
    adopt(id, rtf);
    m_snapshots->noteChange();
}

bool RichTextBodies::saveEdits(const QUuid& id, const QString& title, const QString& plainText,
                               const std::optional<QByteArray>& rtf)
{
    const std::optional<VeskItem> current = m_host.currentItem(id);
    if (!current || !isEditableTextItem(*current))
        return false;
    const QString text = plainText.trimmed();
    if (text.isEmpty())
        return false;
    if (rtf && !readsWhole(body(id))) {
        veskLog(QStringLiteral("Vesk rich-text edit save error: ") + kLongerThanRead);
        return false;
    }

    VeskItem updated = *current;
    const QString name = title.trimmed();
    updated.title = name.isEmpty() ? deriveTitle(text) : name;
    updated.kind = VeskKind::Text;
    updated.text = text;
    updated.searchableText = *updated.text; // one buffer for both

    // The item and its body are written together: a failed write leaves both as they were, and
    // the list, the search index and the shown body keep the old item too.
    // A new item whose row waits for the check of the library file is written, edits and all,
    // once the file has passed.
    SQLiteDatabase* database = m_host.database();
    if (database && !m_host.rowWaitsForLibraryCheck(id)) {
        if (auto saved = database->updateItemWithRichText(updated, rtf); !saved) {
            veskLog(QStringLiteral("Vesk rich-text edit save error: ") + saved.error().logText());
            m_host.reportFailure(QStringLiteral("Not changed"), quotedItemTitle(current->title)
                                     + QStringLiteral(" was not changed: ") + m_host.refusalReason(saved.error())
                                     + QLatin1Char('.'));
            return false;
        }
    }
    m_host.adoptSavedItem(updated);
    if (rtf)
        adopt(id, *rtf);
    m_snapshots->noteChange();
    return true;
}

} // namespace vesk
