#include "platform/FutureDelivery.h"

#include <mutex>
#include <vector>

namespace vesk::detail {

QObject* deliveryRelay()
{
    // Kept in a list that is never destroyed either: a worker posting at any moment, even during
    // the process' exit, must find its relay in place.
    static std::mutex* const made = new std::mutex;
    static auto* const relays = new std::vector<QObject*>;
    thread_local QObject* relay = [] {
        auto* object = new QObject;
        const std::lock_guard lock(*made);
        relays->push_back(object);
        return object;
    }();
    return relay;
}

DeliveryTie::DeliveryTie(QObject* receiver, std::function<void()> release)
    : QObject(receiver), m_release(std::move(release))
{
}

DeliveryTie::~DeliveryTie()
{
    if (m_release)
        m_release();
}

} // namespace vesk::detail
