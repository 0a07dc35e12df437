#pragma once
// An exclusive lock on a file that the system lets go of when the holding process ends, however it
// ends (a crash, a kill, a power cut of the process): nothing is left behind that a later start has
// to remove, so a full disk or a read-only folder never keeps it shut. An existing lock file is
// locked without writing to it; a file that can be written also says who holds it.

#include <QString>

namespace vesk {

class ProcessLock {
public:
    enum class Result {
        // This object holds the lock until it is released or the process ends.
        Taken,
        // Another holder (this process or another) has it.
        Held,
        // The file can neither be opened nor created; errorString() says why.
        Unavailable,
    };

    explicit ProcessLock(QString path);
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Never waits. Once taken, a later call changes nothing.
    Result tryLock();
    void unlock();
    bool isLocked() const { return m_fd >= 0; }

    // The process that wrote itself into the file as its holder; 0 when none is written there.
    qint64 holderProcessId() const;
    QString errorString() const { return m_error; }
    const QString& path() const { return m_path; }

private:
    QString m_path;
    QString m_error;
    int m_fd = -1;
};

} // namespace vesk
