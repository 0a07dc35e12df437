#include "platform/FileRevealer.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

namespace vesk {

namespace {

constexpr int kFileManagerTimeoutMs = 5000;

} // namespace

FileRevealer::FileRevealer()
    : FileRevealer(QDBusConnection::sessionBus(), [](const QUrl& folder) { return QDesktopServices::openUrl(folder); })
{
}

FileRevealer::FileRevealer(QDBusConnection bus, FolderOpener openFolder)
    : m_bus(std::move(bus)), m_openFolder(std::move(openFolder))
{
}

void FileRevealer::reveal(const QString& filePath) const
{
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(filePath).absolutePath());
    const FolderOpener openFolder = m_openFolder;
    const auto fallBack = [openFolder, folder, filePath](const QString& why) {
        veskLog(QStringLiteral("Vesk file manager error for ") + filePath + QStringLiteral(": ") + why);
        if (openFolder && !openFolder(folder))
            veskLog(QStringLiteral("Vesk folder open error for ") + folder.toLocalFile());
    };
    if (!m_bus.isConnected()) {
        fallBack(QStringLiteral("no session bus"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath()).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kFileManagerTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, fallBack] {
        const QDBusPendingReply<> reply = *watcher;
        if (reply.isError())
            fallBack(reply.error().message());
        watcher->deleteLater();
    });
}

} // namespace vesk
