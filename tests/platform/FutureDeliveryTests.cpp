#include "platform/FutureDelivery.h"

#include <QCoreApplication>
#include <QFutureInterface>
#include <QMutexLocker>
#include <QPromise>
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <optional>
#include <thread>

using namespace vesk;

namespace {

// What a handler saw, and whether it is still held by anyone.
struct Seen {
    std::optional<int> value;
    QThread* thread = nullptr;
    std::weak_ptr<int> handlerLife;
};

auto recordingHandler(Seen& seen)
{
    auto life = std::make_shared<int>(0);
    seen.handlerLife = life;
    return [&seen, life](int value) {
        seen.value = value;
        seen.thread = QThread::currentThread();
    };
}

void drainEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

enum class Ending { Result, Cancelled, ReceiverGoneFirst };

struct DeliveryCase {
    const char* name;
    Ending ending;
    bool finishedBeforeAsked;
    std::optional<int> delivered;
};

class DeliverResultCases : public testing::TestWithParam<DeliveryCase> {};

TEST_P(DeliverResultCases, HandsTheResultOverFromTheEventLoopOrLetsTheHandlerGo)
{
    const DeliveryCase& c = GetParam();
    QPromise<int> promise;
    promise.start();
    const auto end = [&] {
        if (c.ending == Ending::Cancelled)
            promise.future().cancel();
        else
            promise.addResult(7);
        promise.finish();
    };
    auto receiver = std::make_unique<QObject>();
    Seen seen;
    if (c.finishedBeforeAsked)
        end();
    deliverResult(receiver.get(), promise.future(), recordingHandler(seen));
    if (!c.finishedBeforeAsked)
        end();
    // Never inside the call that hands the work over, nor inside the one that finishes it.
    EXPECT_FALSE(seen.value);
    if (c.ending == Ending::ReceiverGoneFirst) {
        receiver.reset();
        EXPECT_TRUE(seen.handlerLife.expired()) << "let go with the receiver, on its thread";
    }
    drainEvents();
    EXPECT_EQ(seen.value, c.delivered);
    if (seen.value) {
        EXPECT_EQ(seen.thread, QCoreApplication::instance()->thread());
    }
    EXPECT_TRUE(seen.handlerLife.expired());
    if (receiver) {
        EXPECT_TRUE(receiver->children().isEmpty()) << "nothing of the delivery stays with the receiver";
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, DeliverResultCases,
    testing::Values(DeliveryCase{"result", Ending::Result, false, 7},
        DeliveryCase{"resultAlreadyThere", Ending::Result, true, 7},
        DeliveryCase{"cancelled", Ending::Cancelled, false, std::nullopt},
        DeliveryCase{"cancelledAlready", Ending::Cancelled, true, std::nullopt},
        DeliveryCase{"receiverGone", Ending::ReceiverGoneFirst, false, std::nullopt},
        DeliveryCase{"receiverGoneAfterResult", Ending::ReceiverGoneFirst, true, std::nullopt}),
    [](const testing::TestParamInfo<DeliveryCase>& info) { return std::string(info.param.name); });

// A worker that was stopped inside the future's own lock (it runs at a lower priority than the
// window and may wait long for a processor) must not hold up the delivery of a finished result.
TEST(DeliverResult, ReachesTheReceiverWhileAWorkerHoldsTheFuturesLock)
{
    QFutureInterface<int> work;
    work.reportStarted();
    QObject receiver;
    Seen seen;
    deliverResult(&receiver, work.future(), recordingHandler(seen));
    std::thread([&work] {
        work.reportResult(11);
        work.reportFinished();
    }).join();

    std::promise<void> holding;
    std::promise<void> release;
    std::thread holder([&work, &holding, released = release.get_future()] {
        const QMutexLocker lock(&work.mutex());
        holding.set_value();
        released.wait();
    });
    holding.get_future().wait();
    drainEvents();
    release.set_value();
    holder.join();
    EXPECT_EQ(seen.value, 11);
}

TEST(DeliverResultAsFuture, IsCancelledWhenTheReceiverGoesBeforeTheResult)
{
    QPromise<int> promise;
    promise.start();
    auto receiver = std::make_unique<QObject>();
    const QFuture<int> doubled = deliverResultAsFuture(receiver.get(), promise.future(), [](int v) { return 2 * v; });
    receiver.reset();
    EXPECT_TRUE(doubled.isCanceled());
    promise.addResult(4);
    promise.finish();
    drainEvents();
    EXPECT_EQ(doubled.resultCount(), 0);
}

} // namespace
