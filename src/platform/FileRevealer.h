#pragma once

#include <QDBusConnection>
#include <QString>
#include <QUrl>
#include <functional>

namespace vesk {

// "Show in Folder": asks the desktop's file manager, over the freedesktop FileManager1 interface
// on the session bus, to show a file selected in its folder. When no file manager answers (no
// session bus, no such service, an error), the folder holding the file is opened instead.
class FileRevealer {
public:
    using FolderOpener = std::function<bool(const QUrl& folder)>;

    // The session bus and the desktop's default opener.
    FileRevealer();
    FileRevealer(QDBusConnection bus, FolderOpener openFolder);

    // Returns at once; the answer of the file manager is awaited on the main loop.
    void reveal(const QString& filePath) const;

private:
    QDBusConnection m_bus;
    FolderOpener m_openFolder;
};

} // namespace vesk
