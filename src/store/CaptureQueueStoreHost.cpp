// The store as the capture queue reaches it.
#include "store/VeskStore.h"

#include "platform/SerialExecutor.h"
#include "store/CapturePreparation.h"
#include "store/CaptureQueue.h"
#include "store/CaptureQueueHost.h"
#include "store/LibraryFile.h"
#include "store/LibrarySearch.h"

namespace vesk {

class VeskStore::CaptureQueueStoreHost final : public CaptureQueueHost {
public:
    explicit CaptureQueueStoreHost(VeskStore& store) : m_store(store) {}

    QDateTime now() const override { return m_store.m_services.clock->now(); }
    const QList<VeskItem>& items() const override { return m_store.items(); }
    qsizetype indexOfItem(const QUuid& id) const override { return m_store.indexOfItem(id); }
    QList<QUuid> nearDuplicateCandidates(const NearDuplicateQuery& query) const override
    {
        return m_store.m_search->nearDuplicateCandidates(query);
    }
    NearDuplicateReading nearDuplicateReading() const override { return m_store.m_search->nearDuplicateReading(); }
    bool libraryHasProblem() const override { return m_store.libraryProblem().has_value(); }
    int libraryClears() const override { return m_store.m_file->clears(); }
    SerialExecutor& captureWorker() override { return m_store.m_file->captureWorker(); }
    std::shared_ptr<CaptureRowWriter> backgroundWriter() override { return m_store.m_file->backgroundWriter(); }
    void indexPreparedCapture(const PreparedCapture& prepared, const VeskItem& item) override
    {
        m_store.m_search->applyPreparedCapture(prepared, item);
    }
    bool commitNewItem(const VeskItem& item, const std::optional<QByteArray>& rtf, bool alreadyWritten) override
    {
        return m_store.commitArrivedItem(item, rtf, alreadyWritten).hasValue();
    }
    void whenRowWritten(const QUuid& id, RowWait wait, std::function<void(bool)> heard) override
    {
        m_store.whenRowWritten(id, wait, std::move(heard));
    }
    void announceWhenRowWritten(const QUuid& id, RowWait wait, const VeskIntakeNotice& notice) override
    {
        m_store.announceWhenRowWritten(id, wait, notice);
    }

private:
    VeskStore& m_store;
};

void VeskStore::makeCaptureQueue()
{
    m_captureQueue = std::make_unique<CaptureQueue>(std::make_unique<CaptureQueueStoreHost>(*this));
}

} // namespace vesk
