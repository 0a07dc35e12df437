#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

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

} // namespace vesk
