#pragma once
// The one set of test stand-ins for the store's collaborators.

#include "model/ServiceInterfaces.h"
#include "platform/Timers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QPromise>
#include <QStringList>
#include <QUuid>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vesk::test {

// Counts snapshot requests; a synchronous snapshot succeeds unless told otherwise. With
// `holdDestructive` set, a snapshot before a destructive change is finished only when the test
// calls finishHeld().
class RecordingSnapshots final : public RecoverySnapshotService {
public:
    void noteChange() override { ++changes; }
    void requestLaunchSnapshot() override { ++launchRequests; }
    bool synchronousSnapshot(const QString& reason) override
    {
        reasons.append(reason);
        return synchronousResult;
    }
    QFuture<bool> snapshotBeforeDestructiveChange(const QString& reason) override
    {
        if (!holdDestructive)
            return QtFuture::makeReadyFuture(synchronousSnapshot(reason));
        reasons.append(reason);
        auto promise = std::make_shared<QPromise<bool>>();
        promise->start();
        held.push_back(promise);
        return promise->future();
    }
    // Finishes the oldest held snapshot as taken or failed.
    void finishHeld(bool taken = true)
    {
        if (held.empty())
            return;
        const auto promise = held.front();
        held.erase(held.begin());
        promise->addResult(taken);
        promise->finish();
    }

    int changes = 0;
    int launchRequests = 0;
    QStringList reasons;
    bool synchronousResult = true;
    bool holdDestructive = false;
    std::vector<std::shared_ptr<QPromise<bool>>> held;
};

// Records every thumbnail request, prewarm and removal. Answers at once with `image` (null by
// default), or, with `hold` set, only when the test calls answer(), in any order.
class FakeThumbnails final : public ThumbnailProvider {
public:
    QFuture<QImage> thumbnail(const VeskItem& item, int maxDimension,
                              const CancellationToken& withdrawnToken = CancellationToken()) override
    {
        requests.append({item.id, maxDimension});
        withdrawn.insert(item.id, withdrawnToken);
        if (!hold)
            return QtFuture::makeReadyFuture(image);
        auto promise = std::make_shared<QPromise<QImage>>();
        promise->start();
        pending.insert(item.id, promise);
        return promise->future();
    }
    QFuture<void> prewarmThumbnails(ThumbnailSources sources) override
    {
        if (holdPrewarm) {
            heldPrewarms.append(std::move(sources));
            return QtFuture::makeReadyFuture();
        }
        prewarmed.append(sources());
        return QtFuture::makeReadyFuture();
    }
    QFuture<void> removeThumbnail(const QUuid& id) override
    {
        removed.append(id);
        return QtFuture::makeReadyFuture();
    }

    void answer(const QUuid& id, const QImage& answerImage)
    {
        auto promise = pending.take(id);
        if (!promise)
            return;
        promise->addResult(answerImage);
        promise->finish();
    }
    QList<QUuid> askedIDs() const
    {
        QList<QUuid> ids;
        for (const auto& request : requests)
            ids.append(request.first);
        return ids;
    }

    QImage image;
    bool hold = false;
    QList<std::pair<QUuid, int>> requests;
    QList<QList<ThumbnailSource>> prewarmed;
    // With holdPrewarm, a prewarm's sources are kept ungathered, as in a cache whose worker has
    // not come to them yet.
    bool holdPrewarm = false;
    QList<ThumbnailSources> heldPrewarms;
    QList<QUuid> removed;
    QHash<QUuid, std::shared_ptr<QPromise<QImage>>> pending;
    // The token each item's last request can be withdrawn through.
    QHash<QUuid, CancellationToken> withdrawn;
};

// Keyring entries in memory. Every call is recorded; `failWrites` or `failReads` make the next
// calls fail the way a refusing keyring does (the entries stay as they were).
class FakeSecretStore final : public SecretStore {
public:
    Expected<void, KeychainError> saveSecret(const QUuid& id, const QByteArray& value) override
    {
        ++writes;
        if (failWrites)
            return unexpected(*failWrites);
        entries.insert(id, value);
        return {};
    }
    Expected<std::optional<QByteArray>, KeychainError> readSecret(const QUuid& id) override
    {
        ++reads;
        if (failReads)
            return unexpected(*failReads);
        if (!entries.contains(id))
            return std::optional<QByteArray>();
        return std::optional<QByteArray>(entries.value(id));
    }
    Expected<void, KeychainError> deleteItem(const QUuid& id) override
    {
        deleted.append(id);
        entries.remove(id);
        return {};
    }

    QHash<QUuid, QByteArray> entries;
    std::optional<KeychainError> failWrites;
    std::optional<KeychainError> failReads;
    int writes = 0;
    int reads = 0;
    QList<QUuid> deleted;
};

// Delays whose time moves only by advance(): due actions run in the order they fall due.
class FakeTimers final : public Timers {
public:
    std::shared_ptr<PendingDelay> after(int delayMs, QObject* context, std::function<void()> action) override
    {
        auto pending = std::make_shared<PendingDelay>();
        m_waiting.push_back({m_nowMs + delayMs, m_sequence++, QPointer<QObject>(context), pending, std::move(action)});
        return pending;
    }

    void advance(qint64 ms)
    {
        const qint64 until = m_nowMs + ms;
        for (;;) {
            auto next = std::min_element(m_waiting.begin(), m_waiting.end(), [](const Waiting& a, const Waiting& b) {
                return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.sequence < b.sequence;
            });
            if (next == m_waiting.end() || next->dueMs > until)
                break;
            Waiting due = std::move(*next);
            m_waiting.erase(next);
            m_nowMs = due.dueMs;
            if (due.context && !due.pending->isCancelled())
                due.action();
        }
        m_nowMs = until;
    }

    // How far the test has moved time, in milliseconds since the fake was made.
    qint64 nowMs() const { return m_nowMs; }

    // Delays neither run nor cancelled yet.
    int pendingCount() const
    {
        return int(std::count_if(m_waiting.begin(), m_waiting.end(),
                                 [](const Waiting& w) { return w.context && !w.pending->isCancelled(); }));
    }

private:
    struct Waiting {
        qint64 dueMs;
        quint64 sequence;
        QPointer<QObject> context;
        std::shared_ptr<PendingDelay> pending;
        std::function<void()> action;
    };
    qint64 m_nowMs = 0;
    quint64 m_sequence = 0;
    std::vector<Waiting> m_waiting;
};

// Sentence vectors the test chooses: a text's vector from `vectors` (by the exact text asked),
// else `fallback` (nothing by default). Records every text asked. With `hold` set, answers only
// when the test calls answerAll().
class FakeEmbeddings final : public EmbeddingEngine {
public:
    QFuture<std::optional<QList<double>>> embed(const QString& text) override
    {
        texts.append(text);
        const auto found = vectors.constFind(text);
        const std::optional<QList<double>> vector = found != vectors.cend() ? std::optional(*found) : fallback;
        if (!hold)
            return QtFuture::makeReadyFuture(vector);
        auto promise = std::make_shared<QPromise<std::optional<QList<double>>>>();
        promise->start();
        pending.append({promise, vector});
        return promise->future();
    }
    QString modelName() const override { return QStringLiteral("Fake-Embedding-1"); }
    // With holdPreparation set, the preparation ends only when the test calls finishPreparation().
    QFuture<bool> prepare() override
    {
        ++preparations;
        if (!holdPreparation)
            return QtFuture::makeReadyFuture(true);
        preparation = std::make_shared<QPromise<bool>>();
        preparation->start();
        return preparation->future();
    }
    void finishPreparation()
    {
        preparation->addResult(true);
        preparation->finish();
    }

    void answerAll()
    {
        const auto answers = std::exchange(pending, {});
        for (const auto& [promise, vector] : answers) {
            promise->addResult(vector);
            promise->finish();
        }
    }
    int asked(const QString& text) const { return int(texts.count(text)); }

    QHash<QString, QList<double>> vectors;
    std::optional<QList<double>> fallback;
    bool hold = false;
    bool holdPreparation = false;
    int preparations = 0;
    std::shared_ptr<QPromise<bool>> preparation;
    QStringList texts;
    QList<std::pair<std::shared_ptr<QPromise<std::optional<QList<double>>>>, std::optional<QList<double>>>> pending;
};

// Answers analyses and face detections through `answer` (empty results by default) in a later turn
// of the event loop, as a worker would. Every request is recorded with the milliseconds since the
// fake was made. With `hold` set the answers wait until the test calls release(), in any order.
class FakeImageAnalyser final : public ImageAnalyser {
public:
    struct Request {
        QString path;
        QUuid itemID;
        bool facesOnly = false;
        qint64 atMs = 0;
    };

    FakeImageAnalyser() { clock.start(); }

    QFuture<ImageAnalysisResult> analyse(const QString& path, const QUuid& itemID) override
    {
        return respond<ImageAnalysisResult>(path, itemID, false, [](ImageAnalysisResult result) { return result; });
    }
    QFuture<QList<VeskFaceRecord>> detectFaces(const QString& path, const QUuid& itemID) override
    {
        return respond<QList<VeskFaceRecord>>(path, itemID, true,
                                              [](ImageAnalysisResult result) { return result.faces; });
    }

    // Answers the held request at position index of `requests`.
    void release(qsizetype index)
    {
        if (auto action = m_held.take(index))
            action();
    }
    int heldCount() const { return int(m_held.size()); }

    std::function<ImageAnalysisResult(const QString& path, const QUuid& itemID)> answer;
    bool hold = false;
    QList<Request> requests;
    QElapsedTimer clock;

private:
    template <typename T, typename Pick>
    QFuture<T> respond(const QString& path, const QUuid& itemID, bool facesOnly, Pick pick)
    {
        requests.append({path, itemID, facesOnly, clock.elapsed()});
        const ImageAnalysisResult result = answer ? answer(path, itemID) : ImageAnalysisResult{};
        auto promise = std::make_shared<QPromise<T>>();
        promise->start();
        auto finish = [promise, value = pick(result)] {
            promise->addResult(value);
            promise->finish();
        };
        if (hold)
            m_held.insert(requests.size() - 1, finish);
        else
            QMetaObject::invokeMethod(QCoreApplication::instance(), finish, Qt::QueuedConnection);
        return promise->future();
    }

    QHash<qsizetype, std::function<void()>> m_held;
};

} // namespace vesk::test
