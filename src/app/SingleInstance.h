#pragma once
// One running Vesk per library folder. The first start takes a lock file in the data folder and
// listens for later starts; a later start on the same folder hands its window request to the
// running one and exits, so two windows never write into one library. A lock left by a process
// that has died is taken over. A data folder that takes no lock file (a full disk, a read-only
// medium) is held by a lock in the user's runtime folder, named after the library folder.

#include <QLockFile>
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
    // The lock used when the data folder refuses one.
    QString runtimeLockFilePath() const;
    // The local socket name for this library folder.
    static QString serverName(const QString& dataDirectory);

signals:
    // A later start asked for the window.
    void activationRequested();

private:
    bool listen();
    bool handOver();

    QString m_dataDirectory;
    QLockFile m_lock;
    std::unique_ptr<QLockFile> m_runtimeLock;
    QLocalServer* m_server = nullptr;
    int m_handOverTimeoutMs = 3000;
    QString m_failureReason;
};

} // namespace vesk
