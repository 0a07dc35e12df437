#pragma once

#include <QElapsedTimer>
#include <QtGlobal>
#include <functional>

namespace vesk {

// Milliseconds on a steady clock, which the grid's moving parts read to know where they are in
// their motion. Tests hand in a clock that moves only when they move it.
using MotionClock = std::function<qint64()>;

// A steady clock that reads zero now.
inline MotionClock steadyMotionClock()
{
    QElapsedTimer started;
    started.start();
    return [started] { return started.elapsed(); };
}

} // namespace vesk
