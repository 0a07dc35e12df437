#pragma once

namespace vesk {

// Lowers the calling thread's scheduling priority (nice 10 on Linux, where each thread has its
// own), for threads that do background work the user is not waiting for, such as image analysis:
// they still use every idle core, but the main thread gets the processor as soon as it wants it.
// Calling it again on the same thread does nothing more.
void makeCurrentThreadBackground();

} // namespace vesk
