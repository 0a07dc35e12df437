#pragma once

#include "platform/ThreadSanitizerHandOff.h"

#include <QFuture>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QPromise>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace vesk {

namespace detail {

// The object that carries deliveries to the calling thread: made on the thread's first delivery
// and never destroyed, so that a worker may post to it at any moment, even while the receiver it
// delivers for is being destroyed.
QObject* deliveryRelay();

// A child of a receiver that lets go of what was waiting for a result (release) when the
// receiver is destroyed first.
class DeliveryTie final : public QObject {
public:
    DeliveryTie(QObject* receiver, std::function<void()> release);
    ~DeliveryTie() override;
    DeliveryTie(const DeliveryTie&) = delete;
    DeliveryTie& operator=(const DeliveryTie&) = delete;

private:
    std::function<void()> m_release;
};

} // namespace detail

// Hands a worker's result to receiver on its thread, from the event loop (never inside the call
// that starts the work, even when it is already done), and not at all once receiver is gone.
// Must be called on receiver's thread.
//
// Workers run at a lower priority than the window (ThreadPriority.h), so the main thread never
// takes a lock a worker may hold: the worker copies its result out of the future itself and
// posts it, with the handler's place, to a relay that lives as long as the thread (a watcher
// would make the main thread read the result under the future's lock, which a preempted worker
// can hold for as long as it waits for a processor). The handler stays on receiver's thread: a
// child of receiver drops it when receiver goes, and a posted result finds it gone.
template <typename T, typename Handler>
void deliverResult(QObject* receiver, const QFuture<T>& future, Handler handler)
{
    Q_ASSERT(receiver && receiver->thread() == QThread::currentThread());
    // Read and written only on receiver's thread.
    struct Waiting {
        std::optional<Handler> handler;
        QPointer<detail::DeliveryTie> tie;
    };
    auto waiting = std::make_shared<Waiting>();
    waiting->handler.emplace(std::move(handler));
    waiting->tie = new detail::DeliveryTie(receiver, [weak = std::weak_ptr<Waiting>(waiting)] {
        if (const auto held = weak.lock())
            held->handler.reset();
    });

    // Posts exactly once: the result, or (when the work is cancelled, fails, or its future goes
    // unfinished) word that none comes, so that the handler is let go on its own thread.
    class Courier {
    public:
        Courier(std::shared_ptr<Waiting> waiting, QObject* relay)
            : m_waiting(std::move(waiting)), m_relay(relay) {}
        ~Courier() { send(std::nullopt); }
        Courier(const Courier&) = delete;
        Courier& operator=(const Courier&) = delete;

        void send(std::optional<T> value)
        {
            if (m_sent.exchange(true))
                return;
            // Word that nothing comes needs no turn of the event loop on receiver's own thread,
            // and must not wait for one: it may come from a promise dropped with a posted event
            // while the thread's event queue is locked.
            if (!value && QThread::currentThread() == m_relay->thread()) {
                finish(std::move(m_waiting), std::nullopt);
                return;
            }
            QMetaObject::invokeMethod(m_relay,
                handedOff([waiting = std::move(m_waiting), value = std::move(value)]() mutable {
                    finish(std::move(waiting), std::move(value));
                }),
                Qt::QueuedConnection);
        }

        // On receiver's thread.
        static void finish(std::shared_ptr<Waiting> waiting, std::optional<T> value)
        {
            std::optional<Handler> handler = std::exchange(waiting->handler, std::nullopt);
            delete waiting->tie.data();
            if (handler && value)
                (*handler)(std::move(*value));
        }

    private:
        std::shared_ptr<Waiting> m_waiting;
        QObject* m_relay;
        std::atomic<bool> m_sent{false};
    };
    auto courier = std::make_shared<Courier>(std::move(waiting), detail::deliveryRelay());

    // Runs on the thread that finishes the work (or here, when it is already finished).
    QFuture<T>(future)
        .then(QtFuture::Launch::Sync,
            handedOff([courier](const QFuture<T>& done) {
                if (!done.isCanceled() && done.resultCount() > 0)
                    courier->send(done.result());
                else
                    courier->send(std::nullopt);
            }))
        .onCanceled(handedOff([courier] { courier->send(std::nullopt); }));
}

namespace detail {
template <typename T>
constexpr bool isFuture = false;
template <typename T>
constexpr bool isFuture<QFuture<T>> = true;
} // namespace detail

// deliverResult for a caller that waits for what handler makes of the result: the returned
// future holds handler's value (or, when handler returns a future, that future's value from the
// moment it has one), and is cancelled when the work is, or when receiver is gone before handler
// has run.
template <typename T, typename Handler>
auto deliverResultAsFuture(QObject* receiver, const QFuture<T>& future, Handler handler)
{
    using Returned = std::invoke_result_t<Handler&, const T&>;
    // Shared with the handler: dropped with it (when receiver goes), it cancels the future.
    auto promise = std::make_shared<QPromise<Returned>>();
    promise->start();
    QFuture<Returned> delivered = promise->future();
    deliverResult(receiver, future, [promise, handler = std::move(handler)](const T& value) mutable {
        promise->addResult(handler(value));
        promise->finish();
    });
    if constexpr (detail::isFuture<Returned>)
        return delivered.unwrap();
    else
        return delivered;
}

} // namespace vesk
