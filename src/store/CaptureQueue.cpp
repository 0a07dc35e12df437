#include "store/CaptureQueue.h"

#include "intake/NearDuplicate.h"
#include "platform/FutureDelivery.h"
#include "platform/SerialExecutor.h"
#include "store/CapturePreparation.h"
#include "store/CaptureQueueHost.h"
#include "store/CaptureRowWriter.h"
#include "store/LibrarySearch.h"
#include "platform/ReadGate.h"

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

// The check off the main thread: the index is read in one short turn, for the candidates and the
// texts it kept of them; the comparisons, which read whole texts, run after it.
QList<NearDuplicateMatch> similarInIndex(const NearDuplicateReading& reading, const QString& text)
{
    const std::optional<NearDuplicateQuery> query = prepareNearDuplicateQuery(text);
    if (!query)
        return {};
    QList<NearDuplicateCandidate> candidates;
    (void)reading.gate->readTurn([&] { candidates = reading.index->candidateTexts(*query); });
    return acceptedNearDuplicates(*query, candidates);
}

} // namespace

struct CaptureQueue::Pending {
    std::optional<PreparedCapture> prepared;
    std::optional<QByteArray> rtf;
    Heard heard;
};

CaptureQueue::CaptureQueue(std::unique_ptr<CaptureQueueHost> host, QObject* parent)
    : QObject(parent), m_hostHeld(std::move(host)), m_host(*m_hostHeld)
{
}

CaptureQueue::~CaptureQueue()
{
    // What runs on the workers now stops at its next step: the preparation worker is waited for
    // as it goes, the capture worker belongs to the host and is waited for there.
    m_stop.cancel();
}

QList<NearDuplicateMatch> CaptureQueue::similarMatches(const QString& text) const
{
    const std::optional<NearDuplicateQuery> query = prepareNearDuplicateQuery(text);
    if (!query)
        return {};
    // The index names the few items that could be accepted; each is compared as the list holds
    // it now.
    QList<NearDuplicateMatch> matches;
    for (const QUuid& id : m_host.nearDuplicateCandidates(*query)) {
        const qsizetype at = m_host.indexOfItem(id);
        if (at < 0)
            continue;
        const NearDuplicateVerdict verdict = compareNearDuplicate(*query, m_host.items().at(at));
        if (verdict.qualifies)
            matches.append(NearDuplicateMatch{id, verdict.exact, verdict.score});
    }
    return matches;
}

std::optional<VeskItem> CaptureQueue::chosenMatch(const QList<NearDuplicateMatch>& matches) const
{
    const std::optional<QUuid> id =
        chooseNearDuplicate(matches, [this](const QUuid& candidate) { return m_host.indexOfItem(candidate); });
    if (!id)
        return std::nullopt;
    return m_host.items().at(m_host.indexOfItem(*id));
}

std::optional<VeskItem> CaptureQueue::findSimilarText(const QString& text) const
{
    return chosenMatch(similarMatches(text));
}

void CaptureQueue::addText(const QString& text, const std::optional<QString>& title, Heard heard)
{
    if (goesThroughQueue(text.size())) {
        queue([text, title](const Finder& similar) { return prepareTextCapture(text, title, similar); }, std::nullopt,
              std::move(heard));
        return;
    }
    commit(prepareTextCapture(text, title, similarOnMainThread()), std::nullopt, std::move(heard));
}

void CaptureQueue::addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                                   const std::optional<QByteArray>& rtf, Heard heard)
{
    if (goesThroughQueue(plainText.size())) {
        queue([title, plainText](const Finder& similar) { return prepareRichTextCapture(title, plainText, similar); },
              rtf, std::move(heard));
        return;
    }
    commit(prepareRichTextCapture(title, plainText, similarOnMainThread()), rtf, std::move(heard));
}

void CaptureQueue::addHTML(const QByteArray& data, Heard heard)
{
    if (goesThroughQueue(data.size())) {
        queue([data](const Finder& similar) { return prepareHtmlCapture(data, similar); }, std::nullopt,
              std::move(heard));
        return;
    }
    commit(prepareHtmlCapture(data, similarOnMainThread()), std::nullopt, std::move(heard));
}

void CaptureQueue::addLink(const QUrl& url, Heard heard)
{
    if (goesThroughQueue(0)) {
        // Behind captures still being made ready: it waits its turn.
        PreparedCapture link;
        link.kind = PreparedCapture::Kind::Link;
        link.link = url;
        queuePrepared(link, std::move(heard));
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
    if (heard)
        m_host.whenRowWritten(item.id, RowWait::FirstWrite, std::move(heard));
}

bool CaptureQueue::goesThroughQueue(qsizetype size) const
{
    // Once one capture waits, every later one waits behind it.
    return size > kLargeCaptureSize || !m_pending.isEmpty();
}

CaptureQueue::Finder CaptureQueue::similarOnMainThread() const
{
    return [this](const QString& text) { return similarMatches(text); };
}

SerialExecutor& CaptureQueue::preparationWorker()
{
    if (!m_preparation)
        m_preparation = std::make_unique<SerialExecutor>(QThread::LowPriority);
    return *m_preparation;
}

void CaptureQueue::queue(std::function<PreparedCapture(const Finder&)> prepare, const std::optional<QByteArray>& rtf,
                         Heard heard)
{
    auto pending = std::make_shared<Pending>();
    pending->rtf = rtf;
    pending->heard = std::move(heard);
    m_pending.append(pending);
    const QUuid id = QUuid::createUuid();
    const QDateTime createdAt = m_host.now();
    // Made ready on the queue's own worker: cleaning, comparing and indexing megabytes takes
    // seconds, and on the capture worker it would hold back every other write behind it (an
    // import's row, whose item would then land in the same moment as this one). The library is
    // compared with through its near-duplicate index, as it stands when the check runs.
    deliverResult(this, preparationWorker().run([prepare = std::move(prepare), reading = m_host.nearDuplicateReading(),
                                                 id, createdAt, stop = m_stop] {
            return makeCaptureReady(prepare, [&reading](const QString& text) { return similarInIndex(reading, text); },
                                    id, createdAt, stop);
        }),
        [this, pending](const PreparedCapture& prepared) { writeRow(pending, prepared); });
}

void CaptureQueue::writeRow(const std::shared_ptr<Pending>& pending, const PreparedCapture& prepared)
{
    // A large row is written by the capture worker through a connection of its own, unless the
    // library cannot take it (then the main thread refuses it in its turn).
    const std::shared_ptr<CaptureRowWriter> writer =
        prepared.kind == PreparedCapture::Kind::Text ? m_host.backgroundWriter() : nullptr;
    if (!writer) {
        pending->prepared = prepared;
        commitReady();
        return;
    }
    deliverResult(this, m_host.captureWorker().run([writer, prepared, rtf = pending->rtf, stop = m_stop] {
            return writePreparedCapture(prepared, rtf, *writer, stop);
        }),
        [this, pending, prepared, clears = m_host.libraryClears()](bool written) {
            pending->prepared = prepared;
            pending->prepared->written = written && clears == m_host.libraryClears();
            commitReady();
        });
}

void CaptureQueue::queuePrepared(const PreparedCapture& prepared, Heard heard)
{
    auto pending = std::make_shared<Pending>();
    pending->prepared = prepared;
    pending->heard = std::move(heard);
    m_pending.append(pending);
}

void CaptureQueue::commitReady()
{
    while (!m_pending.isEmpty() && m_pending.first()->prepared) {
        const std::shared_ptr<Pending> next = m_pending.takeFirst();
        commit(*next->prepared, next->rtf, std::move(next->heard));
    }
}

void CaptureQueue::commit(const PreparedCapture& prepared, const std::optional<QByteArray>& rtf, Heard heard)
{
    switch (prepared.kind) {
    case PreparedCapture::Kind::Nothing:
        if (heard)
            heard(false);
        return;
    case PreparedCapture::Kind::Link:
        addLink(prepared.link, std::move(heard));
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
    // Named by the list as it stands before the new item enters it.
    const std::optional<VeskItem> similar = chosenMatch(prepared.similar);
    // The words read off the main thread enter the index first, so the refresh that follows the
    // commit finds the item indexed as it is. A capture that will be refused leaves nothing.
    if (!m_host.libraryHasProblem())
        m_host.indexPreparedCapture(stamped, item);
    // A failed write is marked on the card and retried, a refusal said: either is the failure
    // notice's to say, and nothing announces the item beside it.
    (void)m_host.commitNewItem(item, rtf, stamped.written);
    if (similar)
        m_host.announceWhenRowWritten(item.id, RowWait::FirstWrite, familiarNotice(*similar));
    if (heard)
        m_host.whenRowWritten(item.id, RowWait::FirstWrite, std::move(heard));
}

} // namespace vesk
