// Until the main window lands, the executable opens the library folder and reports what it holds.
#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vesk"));

    const QString dataDir = vesk::AppPaths::dataDirectory();
    if (!vesk::AppPaths::ensureDirectory(dataDir)) {
        std::fprintf(stderr, "Vesk could not create its data folder at %s\n", qPrintable(dataDir));
        return 1;
    }
    std::printf("Vesk library folder: %s\n", qPrintable(dataDir));
    const QFileInfoList entries = QDir(dataDir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    if (entries.isEmpty())
        std::printf("  (empty)\n");
    for (const QFileInfo& entry : entries)
        std::printf("  %s%s\n", qPrintable(entry.fileName()), entry.isDir() ? "/" : "");
    return 0;
}
