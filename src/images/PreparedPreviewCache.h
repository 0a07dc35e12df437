#pragma once

#include "platform/SerialExecutor.h"
#include "model/VeskItem.h"
#include "model/ServiceInterfaces.h"

#include <QCache>
#include <QFuture>
#include <QImage>
#include <QString>
#include <memory>

namespace vesk {

// The preview pane's large pictures: the item's image with its longest side at most 1800, made
// once per item and kept in memory and as "v3-<ID>.png" in its folder. When it cannot make one it
// answers with the thumbnail cache's picture at 1400, which it does not keep.
class PreparedPreviewCache final : public PreparedPreviewProvider {
public:
    // The pane shows one item at a time and holds the picture it shows itself: the pictures of the
    // last three photographs opened stay at hand, the others are read back from their files.
    static constexpr int kMemoryBudgetKilobytes = 32 * 1024;

    // `thumbnails` answers the fallback; it may be null (then the fallback is nothing).
    PreparedPreviewCache(QString folder, std::shared_ptr<ThumbnailProvider> thumbnails,
                         int budgetKilobytes = kMemoryBudgetKilobytes);
    ~PreparedPreviewCache() override;

    // The data folder's "PreparedPreviews".
    static QString defaultFolder(const QString& dataDirectory);

    static constexpr int kCacheVersion = 3;
    static constexpr int kPreparedDimension = 1800;
    static constexpr int kFallbackDimension = 1400;

    // A null image when neither a prepared picture nor a thumbnail can be had.
    QFuture<QImage> preparedImage(const VeskItem& item);

    // Forgets the item's picture in memory and deletes its files, those of older versions too:
    // a deleted item leaves no copy of its picture behind.
    QFuture<void> removePreparedPreview(const QUuid& id) override;

    // Lets go of the pictures kept in memory; later requests read them back from their files.
    void releaseCaches() override;
    // What the pictures kept in memory take, in kilobytes; waits for the requests before it.
    int keptKilobytes();

    QString previewFileFor(const QUuid& id) const;
    QString folder() const { return m_folder; }

    // Waits for the worker; for tests and benchmarks.
    void waitForIdle() { m_executor.waitForDone(); }

private:
    // Runs on the worker; a null image sends the request to the fallback. A newly prepared
    // picture is in memory on return and `madeNew` is set: the caller writes its file after
    // answering, so the pane is not held up by PNG encoding.
    QImage prepareNow(const VeskItem& item, bool* madeNew);

    QString m_folder;
    std::shared_ptr<ThumbnailProvider> m_thumbnails;
    QCache<QString, QImage> m_memory;
    SerialExecutor m_executor;
};

} // namespace vesk
