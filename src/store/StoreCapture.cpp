// The one way a new item enters the library, and the captures handed to the capture queue.
#include "store/VeskStore.h"
#include "store/LibraryItems.h"

#include "store/CaptureQueue.h"
#include "store/FailureWording.h"
#include "store/LibraryHealth.h"
#include "store/RichTextBodies.h"

#include <QPointer>
#include <QScopedValueRollback>
#include <QTimer>

namespace vesk {

bool VeskStore::refuseNewItemWhileBlocked(const QString& title)
{
    if (refuseWhileReadOnly(QStringLiteral("Not kept"), quotedItemTitle(title) + QStringLiteral(" was not kept")))
        return true;
    if (!libraryProblem())
        return false;
    // Taken in, it would live on screen only and be lost at the next start, or be written into a
    // file that could not be read.
    reportFailure(QStringLiteral("Not kept"),
                  quotedItemTitle(title) + QStringLiteral(" was not kept: the library could not be read."));
    return true;
}

std::optional<QString> VeskStore::newItemRefusal() const
{
    if (destructiveChangeRunning())
        return QStringLiteral("Vesk is still finishing a delete. Try again in a moment");
    if (readOnlyReason())
        return readOnlyReason();
    if (libraryProblem())
        return QStringLiteral("the library could not be read");
    return std::nullopt;
}

bool VeskStore::commitNewItem(const VeskItem& item)
{
    return commitNewItemWithRichText(item, std::nullopt, false).hasValue();
}

Expected<void, QString> VeskStore::commitNewItemWithRichText(const VeskItem& item, const std::optional<QByteArray>& rtf,
                                                             bool alreadyWritten)
{
    assertMainThread();
    if (refuseNewItemWhileBlocked(item.title))
        return unexpected(newItemRefusal().value_or(QString()));
    m_library->prepend(item);
    if (rtf) {
        // Shown with its formatting at once; a row that is not written is retried with it.
        m_richText->adopt(item.id, *rtf);
    }
    // Indexed before it is selected: the preview asks for related items at once, and would
    // otherwise have the whole library indexed and ordered again for this one item.
    refreshSearchAfterItemChange(item.id);
    // A selection of one is the item the user was looking at: it follows the focus to the new item,
    // or Delete would remove an item no longer on screen. A set the user built stays as it was.
    if (selectedIDs().size() == 1)
        setSelectedIDs(QSet<QUuid>{item.id});
    setSelectedID(item.id);

    Expected<void, QString> saved;
    if (alreadyWritten)
        m_health->noteItemWritten(item.id);
    else if (m_health->holdRowForLibraryCheck(item.id))
        saved = unexpected(QString()); // not in the file yet: shown as being saved
    else
        saved = m_health->writeNewItem(item, rtf);

    QTimer::singleShot(0, this, [this, item] { embedItem(item); });
    return saved;
}

Expected<void, QString> VeskStore::commitArrivedItem(const VeskItem& item, const std::optional<QByteArray>& rtf,
                                                     bool alreadyWritten)
{
    const QScopedValueRollback arriving(m_selectingNewItem, true);
    return commitNewItemWithRichText(item, rtf, alreadyWritten);
}

void VeskStore::whenRowWritten(const QUuid& id, RowWait wait, std::function<void(bool)> heard)
{
    assertMainThread();
    m_health->whenRowWritten(id, wait, std::move(heard));
}

void VeskStore::announceWhenRowWritten(const QUuid& id, RowWait wait, const VeskIntakeNotice& notice)
{
    assertMainThread();
    const QPointer<VeskStore> self(this);
    m_health->whenRowWritten(id, wait, [self, notice](bool written) {
        if (written && self)
            self->setIntakeNotice(notice);
    });
}

std::optional<VeskItem> VeskStore::findSimilarText(const QString& text) const
{
    assertMainThread();
    return m_captureQueue->findSimilarText(text);
}

void VeskStore::addText(const QString& text, const std::optional<QString>& title, std::function<void(bool)> kept)
{
    assertMainThread();
    m_captureQueue->addText(text, title, std::move(kept));
}

void VeskStore::addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                                const std::optional<QByteArray>& rtf, std::function<void(bool)> kept)
{
    assertMainThread();
    m_captureQueue->addRichTextNote(title, plainText, rtf, std::move(kept));
}

void VeskStore::addHTML(const QByteArray& data, std::function<void(bool)> kept)
{
    assertMainThread();
    m_captureQueue->addHTML(data, std::move(kept));
}

void VeskStore::addLink(const QUrl& url, std::function<void(bool)> kept)
{
    assertMainThread();
    m_captureQueue->addLink(url, std::move(kept));
}

} // namespace vesk
