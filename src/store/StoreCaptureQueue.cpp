// Large captures are made ready off the main thread; every capture still enters the library in
// the order it was made.
#include "store/VeskStore.h"

#include "intake/NearDuplicate.h"
#include "intake/NearDuplicateIndex.h"
#include "model/TextMarkers.h"
#include "platform/FutureDelivery.h"
#include "platform/SerialExecutor.h"
#include "store/CapturePreparation.h"
#include "store/CaptureRowWriter.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

namespace {
// Longer texts (in characters, or bytes of HTML) are cleaned, titled and compared off the main
// thread: a few hundred thousand characters take longer than a frame.
constexpr qsizetype kLargeCaptureSize = 100'000;
} // namespace

struct VeskStore::PendingCapture {
    std::optional<PreparedCapture> prepared;
    std::optional<QByteArray> rtf;
};

std::shared_ptr<CaptureRowWriter> VeskStore::backgroundWriter()
{
    // Until the library file has passed its check, new rows wait on the main thread.
    if (!m_database || m_libraryProblem || m_readOnlyReason || libraryCheckPending())
        return nullptr;
    if (!m_captureWorker)
        m_captureWorker = std::make_shared<SerialExecutor>(QThread::LowPriority);
    if (!m_captureWriter)
        m_captureWriter = std::make_shared<CaptureRowWriter>(m_database->filePath());
    return m_captureWriter;
}

SQLiteDatabase* VeskStore::backgroundDatabase()
{
    // There is none until the library file has passed its check.
    waitForLibraryCheck();
    const std::shared_ptr<CaptureRowWriter> writer = backgroundWriter();
    if (!writer)
        return nullptr;
    // Waiting on a future of the queue would run that one job at once, ahead of those before it.
    m_captureWorker->waitForDone();
    return writer->database();
}

bool VeskStore::captureGoesThroughQueue(qsizetype size) const
{
    // Once one capture waits, every later one waits behind it.
    return size > kLargeCaptureSize || !m_pendingCaptures.isEmpty();
}

SimilarTextFinder VeskStore::similarOnMainThread() const
{
    return [this](const QString& text) { return findSimilarText(text); };
}

void VeskStore::queueCapture(std::function<PreparedCapture(const SimilarTextFinder&)> prepare,
                             const std::optional<QByteArray>& rtf)
{
    auto pending = std::make_shared<PendingCapture>();
    pending->rtf = rtf;
    m_pendingCaptures.append(pending);
    // A large row is written by the worker too, through a connection of its own, unless the
    // library cannot take it (then the main thread refuses it in its turn).
    const std::shared_ptr<CaptureRowWriter> writer = backgroundWriter();
    if (!m_captureWorker)
        m_captureWorker = std::make_shared<SerialExecutor>(QThread::LowPriority);
    // The worker compares with the library as it stands now, through a shared copy of the list.
    const QList<VeskItem> items = m_items;
    const QUuid id = QUuid::createUuid();
    const QDateTime createdAt = m_services.clock->now();
    deliverResult(this, m_captureWorker
        ->run([prepare = std::move(prepare), items, id, createdAt, rtf, writer] {
            PreparedCapture prepared = prepare([&items](const QString& text) { return findSimilarTextIn(items, text); });
            prepared.id = id;
            prepared.createdAt = createdAt;
            if (prepared.kind == PreparedCapture::Kind::Text) {
                const VeskItem item = capturedTextItem(prepared);
                if (writer)
                    prepared.written = writer->write(item, rtf);
                // A new item has no people and no manual tags yet.
                prepared.searchEntry = SearchIndex::prepare(item, {}, {});
                prepared.nearDuplicateEntry = NearDuplicateIndex::prepare(item);
                // Read here once, the markers are not looked for again when the card is drawn.
                (void)textMarkers(item.searchableText);
            }
            return prepared;
        }),
        [this, pending, clears = m_libraryClears](const PreparedCapture& prepared) {
            pending->prepared = prepared;
            if (clears != m_libraryClears)
                pending->prepared->written = false;
            commitReadyCaptures();
        });
}

void VeskStore::queuePreparedCapture(const PreparedCapture& prepared)
{
    auto pending = std::make_shared<PendingCapture>();
    pending->prepared = prepared;
    m_pendingCaptures.append(pending);
}

void VeskStore::commitReadyCaptures()
{
    assertMainThread();
    while (!m_pendingCaptures.isEmpty() && m_pendingCaptures.first()->prepared) {
        const std::shared_ptr<PendingCapture> next = m_pendingCaptures.takeFirst();
        commitPreparedCapture(*next->prepared, next->rtf);
    }
}

} // namespace vesk
