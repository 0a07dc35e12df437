#include "store/CaptureQueue.h"

#include "intake/NearDuplicate.h"
#include "platform/FutureDelivery.h"
#include "platform/SerialExecutor.h"
#include "store/CapturePreparation.h"
#include "store/CaptureQueueHost.h"
#include "store/CaptureRowWriter.h"

#include <utility>

namespace vesk {

namespace {

// Longer texts (in characters, or bytes of HTML) are cleaned, titled and compared off the main
// thread: a few hundred thousand characters take longer than a frame.
constexpr qsizetype kLargeCaptureSize = 100'000;

VeskIntakeNotice familiarNotice(const VeskItem& match)
{
    return VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Version,
                            QStringLiteral("Looks familiar"), match.title, match.id};
}

} // namespace

struct CaptureQueue::Pending {
    std::optional<PreparedCapture> prepared;
    std::optional<QByteArray> rtf;
};

CaptureQueue::CaptureQueue(std::unique_ptr<CaptureQueueHost> host, QObject* parent)
    : QObject(parent), m_hostHeld(std::move(host)), m_host(*m_hostHeld)
{
}

CaptureQueue::~CaptureQueue()
{
    // The worker belongs to the host and is waited for there; what runs on it now stops soon.
    m_stop.cancel();
}

std::optional<VeskItem> CaptureQueue::findSimilarText(const QString& text) const
{
    const std::optional<NearDuplicateQuery> query = prepareNearDuplicateQuery(text);
    if (!query)
        return std::nullopt;
    // The index names the few items that could be accepted; they are weighed in list order, as
    // the whole list would be.
    const QList<QUuid> candidates = m_host.nearDuplicateCandidates(*query);
    return findSimilarTextAmong(m_host.items(), *query, QSet<QUuid>(candidates.cbegin(), candidates.cend()));
}

void CaptureQueue::addText(const QString& text, const std::optional<QString>& title)
{
    if (goesThroughQueue(text.size())) {
        queue([text, title](const Finder& similar) { return prepareTextCapture(text, title, similar); }, std::nullopt);
        return;
    }
    commit(prepareTextCapture(text, title, similarOnMainThread()), std::nullopt);
}

void CaptureQueue::addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                                   const std::optional<QByteArray>& rtf)
{
    if (goesThroughQueue(plainText.size())) {
        queue([title, plainText](const Finder& similar) { return prepareRichTextCapture(title, plainText, similar); },
              rtf);
        return;
    }
    commit(prepareRichTextCapture(title, plainText, similarOnMainThread()), rtf);
}

void CaptureQueue::addHTML(const QByteArray& data)
{
    if (goesThroughQueue(data.size())) {
        queue([data](const Finder& similar) { return prepareHtmlCapture(data, similar); }, std::nullopt);
        return;
    }
    commit(prepareHtmlCapture(data, similarOnMainThread()), std::nullopt);
}

void CaptureQueue::addLink(const QUrl& url)
{
    if (goesThroughQueue(0)) {
        // Behind captures still being made ready: it waits its turn.
        PreparedCapture link;
        link.kind = PreparedCapture::Kind::Link;
        link.link = url;
        queuePrepared(link);
        return;
    }
    // The encoded form: a decoded one would turn "%20" into a space and store a different address.
    const QString address = url.toString(QUrl::FullyEncoded);
    const QString host = url.host(QUrl::FullyDecoded);

    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Url;
    item.createdAt = m_host.now();
    item.title = host.isEmpty() ? address : host;
    item.urlString = address;
    item.searchableText = address;
    (void)m_host.commitNewItem(item, std::nullopt, false); // a failure is marked on the card and said
}

bool CaptureQueue::goesThroughQueue(qsizetype size) const
{
    // Once one capture waits, every later one waits behind it.
    return size > kLargeCaptureSize || !m_pending.isEmpty();
}

CaptureQueue::Finder CaptureQueue::similarOnMainThread() const
{
    return [this](const QString& text) { return findSimilarText(text); };
}

void CaptureQueue::queue(std::function<PreparedCapture(const Finder&)> prepare, const std::optional<QByteArray>& rtf)
{
    auto pending = std::make_shared<Pending>();
    pending->rtf = rtf;
    m_pending.append(pending);
    // A large row is written by the worker too, through a connection of its own, unless the
    // library cannot take it (then the main thread refuses it in its turn).
    const std::shared_ptr<CaptureRowWriter> writer = m_host.backgroundWriter();
    // The worker compares with the library as it stands now, through a shared copy of the list.
    QList<VeskItem> items = m_host.items();
    const QUuid id = QUuid::createUuid();
    const QDateTime createdAt = m_host.now();
    deliverResult(this, m_host.captureWorker().run([prepare = std::move(prepare), items, id, createdAt, rtf, writer,
                                                    stop = m_stop]() mutable {
            // First the text items, the few fields of them the check reads, and the list is let go:
            // held while the capture is made ready (a second or more), it would make the library's
            // next change meanwhile (an import landing, an item edited) copy all of it on the main
            // thread. Its copy for the check is freed here too, before the result is delivered.
            QList<VeskItem> texts = nearDuplicateSnapshot(std::exchange(items, QList<VeskItem>()));
            PreparedCapture prepared = makeCaptureReady(prepare, texts, id, createdAt, rtf, writer.get(), stop);
            texts = QList<VeskItem>();
            return prepared;
        }),
        [this, pending, clears = m_host.libraryClears()](const PreparedCapture& prepared) {
            pending->prepared = prepared;
            if (clears != m_host.libraryClears())
                pending->prepared->written = false;
            commitReady();
        });
}

void CaptureQueue::queuePrepared(const PreparedCapture& prepared)
{
    auto pending = std::make_shared<Pending>();
    pending->prepared = prepared;
    m_pending.append(pending);
}

void CaptureQueue::commitReady()
{
    while (!m_pending.isEmpty() && m_pending.first()->prepared) {
        const std::shared_ptr<Pending> next = m_pending.takeFirst();
        commit(*next->prepared, next->rtf);
    }
}

void CaptureQueue::commit(const PreparedCapture& prepared, const std::optional<QByteArray>& rtf)
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
        stamped.createdAt = m_host.now();
    }
    const VeskItem item = capturedTextItem(stamped);
    // The words read off the main thread enter the index first, so the refresh that follows the
    // commit finds the item indexed as it is. A capture that will be refused leaves nothing.
    if (!m_host.libraryHasProblem())
        m_host.indexPreparedCapture(stamped, item);
    // A failed write is marked on the card and retried; the window says it.
    if (!m_host.commitNewItem(item, rtf, stamped.written) && m_host.libraryHasProblem())
        return;
    if (prepared.similar)
        m_host.postNotice(familiarNotice(*prepared.similar));
}

} // namespace vesk
