// After a complete load: the managed folder is cleaned of what interrupted runs left behind.
#include "store/FileIntake.h"

#include "intake/ItemsFolderSweep.h"
#include "intake/ManagedStorage.h"
#include "platform/Uuid.h"

#include "platform/FutureDelivery.h"
#include "platform/SerialExecutor.h"
#include "store/FileIntakeHost.h"

#include <QDir>
#include <QLocale>
#include <utility>

namespace vesk {

namespace {
constexpr int kRecentChangeSeconds = 2;
// How many names of what was set aside the notice gives before it counts the rest.
constexpr qsizetype kNamesSaid = 3;
} // namespace

void FileIntake::startItemsFolderSweep()
{
    // Only a library read whole says which folders are unclaimed.
    if (!m_host.libraryReadWhole())
        return;
    const QString itemsDirectory = m_host.managedItemsDirectory();
    const QSet<QString> busyFolderNames = busyImportFolderNames();
    const QString recovered = QDir(m_host.dataDirectory()).filePath(QStringLiteral("Recovered"));
    // Whatever changed shortly before now may belong to work that is just beginning (a picture
    // being saved, a folder being made); the file system's clock is also coarser than ours.
    const QDateTime startedAt = QDateTime::currentDateTimeUtc().addSecs(-kRecentChangeSeconds);
    // Listing a folder of many thousand items is file-system work, and gathering the names a large
    // library claims is a long list: both run off the main thread and touch nothing of the store.
    m_itemsFolderSweep = m_host.libraryTasksWorker().run([walk = ItemsWalk(m_host.itemsReading()), itemsDirectory, recovered, busyFolderNames, startedAt]() {
        const std::optional<QList<HeldFile>> held = heldFiles(walk);
        // The store is gone: nothing is known to be unclaimed.
        if (!held)
            return ItemsFolderSweepReport{};
        const QList<HeldFile>& files = *held;
        ItemsFolderReferences references;
        const QString prefix = QDir::cleanPath(itemsDirectory) + QLatin1Char('/');
        for (const HeldFile& file : files) {
            references.filePaths.insert(file.path);
            references.folderNames.insert(uuidString(file.id));
            if (file.path.startsWith(prefix))
                references.folderNames.insert(file.path.mid(prefix.size()).section(QLatin1Char('/'), 0, 0));
        }
        references.busyFolderNames = busyFolderNames;
        return sweepItemsFolder(itemsDirectory, recovered, references, startedAt);
    });
    deliverResult(this, m_itemsFolderSweep, [this, recovered](const ItemsFolderSweepReport& report) {
        if (report.recovered.isEmpty())
            return;
        // Files the user may be missing (an import or a delete cut short) are not gone: say where.
        const QString files = report.recoveredFiles == 1 ? QStringLiteral("1 file")
                                                          : QStringLiteral("%1 files").arg(report.recoveredFiles);
        // Named by what they were (an import cut short by a quit, a package being copied), not
        // only counted: the user looks for a file by its name.
        QStringList names;
        for (const QString& name : report.recoveredNames.mid(0, kNamesSaid))
            names.append(QStringLiteral("\u201C") + name + QStringLiteral("\u201D"));
        QString what = names.join(QStringLiteral(", "));
        if (const qsizetype more = report.recoveredNames.size() - names.size(); more > 0)
            what += more == 1 ? QStringLiteral(" and 1 more") : QStringLiteral(" and %1 more").arg(more);
        m_host.reportFailure(QStringLiteral("Files set aside"),
            files + QStringLiteral(" (") + QLocale().formattedDataSize(report.recoveredBytes, 1, QLocale::DataSizeSIFormat)
                + (report.recoveredFiles == 1 ? QStringLiteral(") that no item refers to was moved to the Recovered folder: ")
                                              : QStringLiteral(") that no item refers to were moved to the Recovered folder: "))
                + recovered + QLatin1Char('.') + (what.isEmpty() ? QString() : QStringLiteral(" Set aside: ") + what + QLatin1Char('.')),
            {});
    });
}

} // namespace vesk
