#pragma once

#include "platform/ThreadSanitizerHandOff.h"
#include "platform/WorkPool.h"

#include <QThreadPool>

#include <type_traits>
#include <utility>

namespace vesk {

// Lets go of a value on a worker thread. A list of a hundred thousand items that was just
// replaced takes milliseconds to free, most of them waiting on memory; the main thread need not
// wait for that. The value must hold no reference to anything owned by the main thread alone
// (implicitly shared Qt values release their data safely from any thread).
template <typename Value>
void releaseInBackground(Value&& value)
{
    using Held = std::decay_t<Value>;
    startHandedOff(*workPool(), [kept = Held(std::forward<Value>(value))]() mutable { Held().swap(kept); });
}

} // namespace vesk
