#pragma once

class QThreadPool;

namespace vesk {

// The application's thread pools, one for each kind of work. Nothing else makes a pool that lives
// as long as the process or hands work to Qt's global pool (scripts/check-layers.sh keeps it so);
// objects that need a thread of their own (SerialExecutor) own it and wait for it.
class WorkPools {
public:
    // The process' pools, made on first use and never destroyed: jobs may still end while the
    // application shuts down.
    static WorkPools& shared();

    // One-off jobs that wait on files or take long (probing a video, copying a package, joining a
    // text of megabytes): as many threads as cores, all of them background threads.
    QThreadPool* files() const { return m_files; }
    // Work split over every core while its caller waits (ranking, sorting, indexing the library).
    // Not Qt's global pool: the raster paint engine splits large fills over that one and the main
    // thread waits for them, so work there would hold up painting.
    QThreadPool* parallel() const { return m_parallel; }
    // The same for a caller that is itself a background thread (a search pass on a worker): its
    // helpers run lowered as it does. At the window's priority they would take the cores from the
    // window and from the painting it waits for, for work the window does not wait for.
    QThreadPool* backgroundParallel() const { return m_backgroundParallel; }
    // The parallel pool for work the calling thread splits: the lowered one for a background thread.
    QThreadPool* parallelForCaller() const;
    // Pictures the window paints from while it waits for them (the grid's card bodies): not Qt's
    // global pool, for the reason above, nor the parallel pool, which a search or an index
    // build may hold when the window needs its cards.
    QThreadPool* painting() const { return m_painting; }
    // Analysis nobody waits for (the model runtime's kernels, face suggestions): background
    // threads that still use every idle core.
    QThreadPool* analysis() const { return m_analysis; }
    // Text recognition of pictures: two background threads, kept so that each keeps its
    // recogniser for the life of the process.
    QThreadPool* recognition() const { return m_recognition; }
    // Makes the threads of the pools that work for a waiting caller (Qt's, the parallel and the
    // painting pool) from the calling thread, which must be the main thread: a pool thread made
    // later from a lowered worker would run everything given to it at the worker's priority.
    // Once per process.
    void keepForegroundThreadsAtCallersPriority();
    // Drops what is queued on every pool and waits, up to msecs in all, for the jobs under way.
    // True when none is left running.
    bool finishAll(int msecs);

private:
    WorkPools();

    QThreadPool* m_files;
    QThreadPool* m_parallel;
    QThreadPool* m_backgroundParallel;
    QThreadPool* m_painting;
    QThreadPool* m_analysis;
    QThreadPool* m_recognition;
};

// The end of main(), before the application object goes: its destructor unloads Qt's image and
// platform plugins and its statics follow, and a job still inside them (a package's pictures being
// read) would crash the quit. Waits up to msecs for the jobs under way; one still running then is
// left behind by ending the process here, with exitCode, without the statics it could be inside.
int finishWorkBeforeExit(int exitCode, int msecs = 5000);

} // namespace vesk
