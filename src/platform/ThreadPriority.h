#pragma once

class QThreadPool;

namespace vesk {

// Lowers the calling thread's scheduling priority (ten nice steps below the window's thread on
// Linux, where each thread has its own), for threads that do background work the user is not waiting for, such as image analysis:
// they still use every idle core, but the main thread gets the processor as soon as it wants it.
// Calling it again on the same thread does nothing more.
void makeCurrentThreadBackground();

// Whether the calling thread has been lowered by makeCurrentThreadBackground.
bool currentThreadIsBackground();

// The nice value of a background thread when the window's thread runs at windowNice: below the
// window, down to the lowest priority there is, and never above it (a Vesk started with nice
// must not run its background work before its own window).
int backgroundNiceBelow(int windowNice);

// Makes every thread of pool a background thread for as long as the pool lives: the threads are
// started at once and each lowers itself before it takes any work queued after this call, and
// none of them expires (a thread started later would run at normal priority). The priorities of
// QThreadPool are no help here: Linux's normal scheduling has only one.
void makePoolThreadsBackground(QThreadPool& pool);

// Makes every thread of pool now, from the calling thread, and keeps them: a new thread takes
// the priority of the thread that makes it, and a pool thread made when a lowered worker first
// used the pool would run everything given to it later at the worker's priority. Qt's painting
// splits large fills over the global pool and waits for them, so the window needs that pool's
// threads at its own priority.
void keepPoolThreadsAtCallersPriority(QThreadPool& pool);

} // namespace vesk
