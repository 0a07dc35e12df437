#pragma once
// Internal to src/store/: what the capture queue needs of the library it adds to.

#include "model/VeskItem.h"
#include "model/VeskNotices.h"
#include "store/RowWait.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class CaptureRowWriter;
class SerialExecutor;
struct NearDuplicateQuery;
struct NearDuplicateReading;
struct PreparedCapture;

class CaptureQueueHost {
public:
    virtual ~CaptureQueueHost() = default;

    virtual QDateTime now() const = 0;
    // The library's items as they are now, in list order.
    virtual const QList<VeskItem>& items() const = 0;
    // Position of the item in items(), or -1.
    virtual qsizetype indexOfItem(const QUuid& id) const = 0;
    // The few items the near-duplicate index says could say nearly the same as the query.
    virtual QList<QUuid> nearDuplicateCandidates(const NearDuplicateQuery& query) const = 0;
    // The same index as a worker reads it.
    virtual NearDuplicateReading nearDuplicateReading() const = 0;
    // True while the library cannot be read: a capture is then refused as it is committed.
    virtual bool libraryHasProblem() const = 0;
    // Raised by every clear of the library: a row written before a clear is gone from the file.
    virtual int libraryClears() const = 0;
    // The thread that writes large captures' rows, in the order given, beside other writes.
    virtual SerialExecutor& captureWorker() = 0;
    // The worker's own connection; none while the library cannot take writes from it.
    virtual std::shared_ptr<CaptureRowWriter> backgroundWriter() = 0;
    // Takes the search and near-duplicate entries read where the capture was made ready.
    virtual void indexPreparedCapture(const PreparedCapture& prepared, const VeskItem& item) = 0;
    // Puts the new item at the front and saves it (with its rich text, unless alreadyWritten);
    // false when its row was not written or the item was refused.
    virtual bool commitNewItem(const VeskItem& item, const std::optional<QByteArray>& rtf, bool alreadyWritten) = 0;
    // Hears whether the new item's row is in the library file, waiting as wait says.
    virtual void whenRowWritten(const QUuid& id, RowWait wait, std::function<void(bool)> heard) = 0;
    // Posts the notice once whenRowWritten hears the row written; never when it is not.
    virtual void announceWhenRowWritten(const QUuid& id, RowWait wait, const VeskIntakeNotice& notice) = 0;
};

} // namespace vesk
