// Text, rich-text, HTML and link capture, and the one way a new item enters the library.
#include "store/VeskStore.h"

#include "intake/NearDuplicate.h"
#include "store/CapturePreparation.h"
#include "store/FailureWording.h"
#include "platform/Log.h"
#include "search/SearchText.h"
#include "store/SQLiteDatabase.h"
#include "store/SearchState.h"

#include <QTimer>

namespace vesk {

namespace {

VeskIntakeNotice familiarNotice(const VeskItem& match)
{
    return VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Version,
                            QStringLiteral("Looks familiar"), match.title, match.id};
}

} // namespace

bool VeskStore::refuseNewItemWhileBlocked(const QString& title)
{
    if (refuseWhileReadOnly(QStringLiteral("Not kept"), quotedItemTitle(title) + QStringLiteral(" was not kept")))
        return true;
    if (!m_libraryProblem)
        return false;
    // Taken in, it would live on screen only and be lost at the next start, or be written into a
    // file that could not be read.
    reportFailure(QStringLiteral("Not kept"),
                  quotedItemTitle(title) + QStringLiteral(" was not kept: the library could not be read."));
    return true;
}

bool VeskStore::commitNewItem(const VeskItem& item)
{
    return commitNewItemWithRichText(item, std::nullopt, false);
}

bool VeskStore::commitNewItemWithRichText(const VeskItem& item, const std::optional<QByteArray>& rtf, bool alreadyWritten)
{
    assertMainThread();
    if (refuseNewItemWhileBlocked(item.title))
        return false;
    m_items.prepend(item);
    emit itemsChanged();
    emit itemAdded(item.id);
    if (rtf) {
        // Shown with its formatting at once; a row that is not written is retried with it.
        m_richTextByID.insert(item.id, *rtf);
        emit richTextByIDChanged();
    }
    // Indexed before it is selected: the preview asks for related items at once, and would
    // otherwise have the whole library indexed and ordered again for this one item.
    refreshSearchAfterItemChange(item.id);
    // A selection of one is the item the user was looking at: it follows the focus to the new item,
    // or Delete would remove an item no longer on screen. A set the user built stays as it was.
    if (m_selectedIDs.size() == 1)
        setSelectedIDs(QSet<QUuid>{item.id});
    setSelectedID(item.id);

    bool saved = true;
    if (alreadyWritten)
        noteItemWritten(item.id);
    else if (holdRowForLibraryCheck(item.id))
        saved = false; // not in the file yet: shown as being saved
    else
        saved = writeItem(item, rtf);

    QTimer::singleShot(0, this, [this, item] { embedItem(item); });
    return saved;
}

std::optional<VeskItem> VeskStore::findSimilarText(const QString& text) const
{
    assertMainThread();
    const std::optional<NearDuplicateQuery> query = prepareNearDuplicateQuery(text);
    if (!query)
        return std::nullopt;
    // The index names the few items that could be accepted; they are weighed in list order, as
    // the whole list would be.
    const QList<QUuid> candidates = searchState().nearDuplicates.candidates(*query);
    return findSimilarTextAmong(m_items, *query, QSet<QUuid>(candidates.cbegin(), candidates.cend()));
}

void VeskStore::addText(const QString& text, const std::optional<QString>& title)
{
    assertMainThread();
    if (captureGoesThroughQueue(text.size())) {
        queueCapture([text, title](const SimilarTextFinder& similar) { return prepareTextCapture(text, title, similar); },
                     std::nullopt);
        return;
    }
    commitPreparedCapture(prepareTextCapture(text, title, similarOnMainThread()), std::nullopt);
}

void VeskStore::addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                                const std::optional<QByteArray>& rtf)
{
    assertMainThread();
    if (captureGoesThroughQueue(plainText.size())) {
        queueCapture([title, plainText](const SimilarTextFinder& similar) {
            return prepareRichTextCapture(title, plainText, similar);
        }, rtf);
        return;
    }
    commitPreparedCapture(prepareRichTextCapture(title, plainText, similarOnMainThread()), rtf);
}

void VeskStore::addHTML(const QByteArray& data)
{
    assertMainThread();
    if (captureGoesThroughQueue(data.size())) {
        queueCapture([data](const SimilarTextFinder& similar) { return prepareHtmlCapture(data, similar); },
                     std::nullopt);
        return;
    }
    commitPreparedCapture(prepareHtmlCapture(data, similarOnMainThread()), std::nullopt);
}

void VeskStore::addLink(const QUrl& url)
{
    assertMainThread();
    if (captureGoesThroughQueue(0)) {
        // Behind captures still being made ready: it waits its turn.
        PreparedCapture link;
        link.kind = PreparedCapture::Kind::Link;
        link.link = url;
        queuePreparedCapture(link);
        return;
    }
    // The encoded form: a decoded one would turn "%20" into a space and store a different address.
    const QString address = url.toString(QUrl::FullyEncoded);
    const QString host = url.host(QUrl::FullyDecoded);

    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Url;
    item.createdAt = m_services.clock->now();
    item.title = host.isEmpty() ? address : host;
    item.urlString = address;
    item.searchableText = address;
    (void)commitNewItem(item); // a failure is marked on the card and said by the store
}

void VeskStore::commitPreparedCapture(const PreparedCapture& prepared, const std::optional<QByteArray>& rtf)
{
    switch (prepared.kind) {
    case PreparedCapture::Kind::Nothing:
        return;
    case PreparedCapture::Kind::Link:
        addLink(prepared.link);
        return;
    case PreparedCapture::Kind::Text:
        break;
    }
    PreparedCapture stamped = prepared;
    if (stamped.id.isNull()) {
        stamped.id = QUuid::createUuid();
        stamped.createdAt = m_services.clock->now();
    }
    const VeskItem item = capturedTextItem(stamped);
    // The words read off the main thread enter the index first, so the refresh that follows the
    // commit finds the item indexed as it is. A capture that will be refused leaves nothing.
    if (stamped.searchEntry && !m_libraryProblem) {
        const ReadGate::Change change(*searchState().readGate);
        searchState().index.apply(*stamped.searchEntry, item, {}, {});
    }
    if (stamped.nearDuplicateEntry && !m_libraryProblem)
        searchState().nearDuplicates.apply(*stamped.nearDuplicateEntry, item);
    // A failed write is marked on the card and retried; the window says it.
    if (!commitNewItemWithRichText(item, rtf, stamped.written) && m_libraryProblem)
        return;
    if (prepared.similar)
        setIntakeNotice(familiarNotice(*prepared.similar));
}

} // namespace vesk
