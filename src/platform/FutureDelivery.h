#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>

#include <memory>
#include <type_traits>
#include <utility>

namespace vesk {

// Hands a worker's result to receiver on its thread, from the event loop (never inside the call
// that starts the work, even when it is already done), and not at all once receiver is gone.
// Qt's then(context, ...) posts to the context from the worker thread and can post to an object
// that the main thread is deleting at that moment; a watcher owned by the receiver is cut off
// from the work under the future's own lock when it is destroyed.
template <typename T, typename Handler>
void deliverResult(QObject* receiver, const QFuture<T>& future, Handler handler)
{
    auto* watcher = new QFutureWatcher<T>(receiver);
    QObject::connect(watcher, &QFutureWatcherBase::finished, receiver,
        [watcher, handler = std::move(handler)]() mutable {
            watcher->deleteLater();
            const QFuture<T> done = watcher->future();
            if (!done.isCanceled() && done.resultCount() > 0)
                handler(done.result());
        });
    watcher->setFuture(future);
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
