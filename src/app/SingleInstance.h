#pragma once
// One running Vesk per library folder. The first start locks the library and listens for later
// starts; a later start on the same folder hands its window request to the running one and exits,
// so two windows never write into one library. Every start takes the same two locks, which the
// system lets go of when their process ends: one in the user's runtime folder, named after the
// library folder as the file system knows it (so two paths to one folder are one library), always;
// and the data folder's own lock file wherever it can be opened, which older starts and starts with
// another runtime folder see. A full disk or a read-only medium then still locks the library.

#include "platform/ProcessLock.h"

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace vesk {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        // This process holds the library; it listens for later starts.
        Primary,
        // Another running Vesk holds it and was asked to come to the front.
        HandedOver,
        // The library is held but nobody answered, or the lock cannot be written.
        Failed,
    };

    explicit SingleInstance(const QString& dataDirectory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // How long a later start tries to reach the running one (it may still be starting up).
    void setHandOverTimeoutMs(int milliseconds) { m_handOverTimeoutMs = milliseconds; }

    Outcome claim();
    // Why claim() failed, in plain words.
    QString failureReason() const { return m_failureReason; }

    QString lockFilePath() const;
    // The lock in the runtime folder, taken by every start.
    QString runtimeLockFilePath() const;
    // The local socket name for this library folder.
    static QString serverName(const QString& dataDirectory);
    // Where the runtime lock lives: $XDG_RUNTIME_DIR, else a folder of this user's own in the
    // temporary folder.
    static QString runtimeFolder();

signals:
    // A later start asked for the window.
    void activationRequested();

private:
    bool listen();
    bool handOver();
    Outcome heldElsewhere(const ProcessLock& lock);

    QString m_dataDirectory;
    std::unique_ptr<ProcessLock> m_runtimeLock;
    std::unique_ptr<ProcessLock> m_folderLock;
    QLocalServer* m_server = nullptr;
    int m_handOverTimeoutMs = 3000;
    QString m_failureReason;
};

} // namespace vesk
