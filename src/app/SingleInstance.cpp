#include "app/SingleInstance.h"

#include "platform/Log.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {
const QByteArray kShowRequest = "show\n";

// The library as the file system knows it: a link to the folder, or a path with "..", is the
// same library.
QString libraryKey(const QString& dataDirectory)
{
    const QString canonical = QFileInfo(dataDirectory).canonicalFilePath();
    return canonical.isEmpty() ? QDir(dataDirectory).absolutePath() : canonical;
}
} // namespace

SingleInstance::SingleInstance(const QString& dataDirectory, QObject* parent)
    : QObject(parent)
    , m_dataDirectory(QDir(dataDirectory).absolutePath())
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockFilePath() const
{
    return QDir(m_dataDirectory).filePath(QStringLiteral("vesk.lock"));
}

QString SingleInstance::runtimeFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    // A folder only this user can enter, so that nobody else can hold or replace the lock.
    const QString folder = QDir::tempPath() + QStringLiteral("/vesk-") + QString::number(::getuid());
    const QByteArray name = QFile::encodeName(folder);
    (void)::mkdir(name.constData(), 0700);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::getuid()
        || (status.st_mode & 077) != 0)
        return {};
    return folder;
}

QString SingleInstance::runtimeLockFilePath() const
{
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        return {};
    return QDir(folder).filePath(serverName(m_dataDirectory) + QStringLiteral(".lock"));
}

QString SingleInstance::serverName(const QString& dataDirectory)
{
    // Short and per user and folder: socket paths are limited to about a hundred bytes.
    const QByteArray key = QByteArray::number(::getuid()) + '\0' + libraryKey(dataDirectory).toUtf8();
    return QStringLiteral("vesk-") + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

SingleInstance::Outcome SingleInstance::claim()
{
    if (!QDir().mkpath(m_dataDirectory)) {
        m_failureReason = QStringLiteral("The library folder ") + m_dataDirectory + QStringLiteral(" could not be created.");
        return Outcome::Failed;
    }
    // Named once the folder exists, so that its name is the file system's own. The runtime lock
    // comes first: every start takes it, so two starts at once meet there.
    m_runtimeLock = std::make_unique<ProcessLock>(runtimeLockFilePath());
    m_folderLock = std::make_unique<ProcessLock>(lockFilePath());
    const ProcessLock::Result runtime = m_runtimeLock->tryLock();
    if (runtime == ProcessLock::Result::Held)
        return heldElsewhere(*m_runtimeLock);
    const ProcessLock::Result folder = m_folderLock->tryLock();
    if (folder == ProcessLock::Result::Held) {
        // An older Vesk, or one started with another runtime folder.
        m_runtimeLock->unlock();
        return heldElsewhere(*m_folderLock);
    }
    if (runtime != ProcessLock::Result::Taken && folder != ProcessLock::Result::Taken) {
        m_failureReason = QStringLiteral("The lock file ") + lockFilePath() + QStringLiteral(" could not be written.");
        veskLog(QStringLiteral("Vesk instance lock error for ") + lockFilePath() + QStringLiteral(": ")
                + m_folderLock->errorString() + QStringLiteral("; and for ") + m_runtimeLock->path()
                + QStringLiteral(": ") + m_runtimeLock->errorString());
        return Outcome::Failed;
    }
    if (folder != ProcessLock::Result::Taken) {
        // The folder takes no lock file (a full disk, a read-only medium): the library can still
        // be opened for reading, held by the runtime lock alone.
        veskLog(QStringLiteral("Vesk instance lock error for ") + lockFilePath() + QStringLiteral(": ")
                + m_folderLock->errorString() + QStringLiteral("; using ") + m_runtimeLock->path());
    }
    if (runtime != ProcessLock::Result::Taken) {
        veskLog(QStringLiteral("Vesk instance lock error for ") + m_runtimeLock->path() + QStringLiteral(": ")
                + m_runtimeLock->errorString() + QStringLiteral("; using ") + lockFilePath());
    }
    // Without a listener the library is still ours alone; later starts then fail instead of
    // bringing this window forward.
    listen();
    return Outcome::Primary;
}

SingleInstance::Outcome SingleInstance::heldElsewhere(const ProcessLock& lock)
{
    if (handOver())
        return Outcome::HandedOver;
    const qint64 pid = lock.holderProcessId();
    m_failureReason = QStringLiteral("Another Vesk (process %1) is using the library in %2 and does not answer.")
                          .arg(pid)
                          .arg(m_dataDirectory);
    veskLog(QStringLiteral("Vesk instance lock error for ") + lock.path() + QStringLiteral(": held by process ")
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
