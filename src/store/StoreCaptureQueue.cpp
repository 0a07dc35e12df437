// Large captures are made ready off the main thread; every capture still enters the library in
// the order it was made.
#include "store/VeskStore.h"

#include "intake/NearDuplicate.h"
#include "platform/SerialExecutor.h"
#include "store/CapturePreparation.h"

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
    if (!m_captureWorker)
        m_captureWorker = std::make_shared<SerialExecutor>();
    // The worker compares with the library as it stands now, through a shared copy of the list.
    const QList<VeskItem> items = m_items;
    m_captureWorker
        ->run([prepare = std::move(prepare), items] {
            return prepare([&items](const QString& text) { return findSimilarTextIn(items, text); });
        })
        .then(this, [this, pending](const PreparedCapture& prepared) {
            pending->prepared = prepared;
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
