#include "app/SingleInstance.h"

#include "platform/Log.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace vesk {

namespace {
const QByteArray kShowRequest = "show\n";
} // namespace

SingleInstance::SingleInstance(const QString& dataDirectory, QObject* parent)
    : QObject(parent)
    , m_dataDirectory(QDir(dataDirectory).absolutePath())
    , m_lock(QDir(m_dataDirectory).filePath(QStringLiteral("vesk.lock")))
{
    // Held for the whole run: only a dead holder makes the lock stale, never its age.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockFilePath() const
{
    return QDir(m_dataDirectory).filePath(QStringLiteral("vesk.lock"));
}

QString SingleInstance::runtimeLockFilePath() const
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(serverName(m_dataDirectory) + QStringLiteral(".lock"));
}

QString SingleInstance::serverName(const QString& dataDirectory)
{
    // Short and per user and folder: socket paths are limited to about a hundred bytes.
    const QByteArray key = QByteArray::number(::getuid()) + '\0' + QDir(dataDirectory).absolutePath().toUtf8();
    return QStringLiteral("vesk-") + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

SingleInstance::Outcome SingleInstance::claim()
{
    if (!QDir().mkpath(m_dataDirectory)) {
        m_failureReason = QStringLiteral("The library folder ") + m_dataDirectory + QStringLiteral(" could not be created.");
        return Outcome::Failed;
    }
    QLockFile* lock = &m_lock;
    bool locked = m_lock.tryLock(0);
    if (!locked && m_lock.error() != QLockFile::LockFailedError) {
        // The folder takes no new file: the library can still be opened for reading, held by a
        // lock that lives elsewhere.
        veskLog(QStringLiteral("Vesk instance lock error for ") + lockFilePath()
                + QStringLiteral(": the data folder takes no lock file; using ") + runtimeLockFilePath());
        m_runtimeLock = std::make_unique<QLockFile>(runtimeLockFilePath());
        m_runtimeLock->setStaleLockTime(0);
        lock = m_runtimeLock.get();
        locked = m_runtimeLock->tryLock(0);
        if (!locked && m_runtimeLock->error() != QLockFile::LockFailedError) {
            m_failureReason = QStringLiteral("The lock file ") + lockFilePath() + QStringLiteral(" could not be written.");
            veskLog(QStringLiteral("Vesk instance lock error for ") + runtimeLockFilePath() + QStringLiteral(": ")
                    + m_failureReason);
            return Outcome::Failed;
        }
    }
    if (locked) {
        // Without a listener the library is still ours alone; later starts then fail instead of
        // bringing this window forward.
        listen();
        return Outcome::Primary;
    }
    if (handOver())
        return Outcome::HandedOver;
    qint64 pid = 0;
    QString host;
    QString application;
    lock->getLockInfo(&pid, &host, &application);
    m_failureReason = QStringLiteral("Another Vesk (process %1) is using the library in %2 and does not answer.")
                          .arg(pid)
                          .arg(m_dataDirectory);
    veskLog(QStringLiteral("Vesk instance lock error for ") + lockFilePath() + QStringLiteral(": held by process ")
            + QString::number(pid));
    return Outcome::Failed;
}

bool SingleInstance::listen()
{
    const QString name = serverName(m_dataDirectory);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // The lock is ours, so a socket of that name was left by a process that died.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name)) {
        veskLog(QStringLiteral("Vesk instance server error for ") + name + QStringLiteral(": ") + m_server->errorString());
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    if (socket->readLine() == kShowRequest)
                        emit activationRequested();
                }
            });
        }
    });
    return true;
}

bool SingleInstance::handOver()
{
    const QString name = serverName(m_dataDirectory);
    const QDeadlineTimer deadline(m_handOverTimeoutMs);
    // The running one may have taken the lock and not yet begun to listen.
    do {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(kShowRequest);
            const bool sent = socket.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())));
            socket.disconnectFromServer();
            if (sent)
                return true;
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}

} // namespace vesk
