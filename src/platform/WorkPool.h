#pragma once

#include "platform/WorkPools.h"

#include <QThreadPool>

namespace vesk {

// The pool for one-off jobs started off the main thread (QtConcurrent::run(workPool(), ...)):
// WorkPools::shared().files().
QThreadPool* workPool();

} // namespace vesk
