#pragma once

#include <QThreadPool>

namespace vesk {

// The pool for one-off jobs started off the main thread (QtConcurrent::run(workPool(), ...)).
// Not Qt's global pool: the raster paint engine hands the pieces of a large fill to that one and
// the main thread waits for them, so a job of a second there (probing a video, joining a text of
// megabytes) would hold up painting until it ends. Its threads are background threads.
QThreadPool* workPool();

} // namespace vesk
