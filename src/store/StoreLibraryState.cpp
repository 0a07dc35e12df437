// Whether the library can be used: opening its file, the unreadable and the lost library, and
// the user's word to start anew over a lost one.
#include "store/VeskStore.h"

#include "intake/ManagedStorage.h"
#include "platform/Log.h"
#include "store/SQLiteDatabase.h"

#include <QDir>
#include <QFileInfo>

namespace vesk {

namespace {

QString databaseFileIn(const QString& dataDirectory)
{
    return QDir(dataDirectory).filePath(QStringLiteral("vesk.sqlite3"));
}

// Why a folder that has held items has no usable library file, or none when it has one.
std::optional<QString> lostLibraryReason(const QString& databasePath)
{
    const QFileInfo info(databasePath);
    if (!info.exists())
        return QStringLiteral("the library file is missing");
    if (info.isFile() && info.size() == 0)
        return QStringLiteral("the library file is empty");
    // A file without the item table was made anew; one that cannot be read is damaged, which
    // opening it tells.
    if (auto holds = SQLiteDatabase::fileHoldsItemTable(databasePath); holds && !*holds)
        return QStringLiteral("the library file holds no library");
    return std::nullopt;
}

} // namespace

void VeskStore::setLibraryProblem(const std::optional<VeskLibraryProblem>& value)
{
    assertMainThread();
    if (m_libraryProblem == value)
        return;
    m_libraryProblem = value;
    emit libraryProblemChanged();
}

void VeskStore::openLibraryDatabase()
{
    const QString path = databaseFileIn(m_services.dataDirectory);
    if (libraryHasHeldItems()) {
        if (const std::optional<QString> reason = lostLibraryReason(path)) {
            // A new, empty file here would pass for the library and hide that it is gone.
            veskLog(QStringLiteral("Vesk library lost for ") + path + QStringLiteral(": ") + *reason);
            setLibraryProblem(VeskLibraryProblem{VeskLibraryProblem::Kind::Lost, path, *reason,
                                                 newestRecoverySnapshot()});
            return;
        }
    }
    auto opened = SQLiteDatabase::open(path);
    if (!opened) {
        veskLog(QStringLiteral("Vesk database open error for ") + path + QStringLiteral(": ")
                + opened.error().logText());
        setLibraryProblem(VeskLibraryProblem{VeskLibraryProblem::Kind::Unreadable, path,
                                             opened.error().plainReason(), newestRecoverySnapshot()});
        return;
    }
    m_database = std::move(opened.value());
}

void VeskStore::failItemsLoad(const DatabaseError& error)
{
    // Writing on into a file whose items cannot be read could bury what is left in it: the
    // connection goes, and the window says why instead of showing an empty library.
    const QString path = m_database ? m_database->filePath() : databaseFileIn(m_services.dataDirectory);
    m_database.reset();
    m_itemsLoaded = false;
    setItems({});
    setLibraryProblem(VeskLibraryProblem{VeskLibraryProblem::Kind::Unreadable, path, error.plainReason(),
                                         newestRecoverySnapshot()});
}

bool VeskStore::startNewLibrary()
{
    assertMainThread();
    if (!m_libraryProblem || m_libraryProblem->kind != VeskLibraryProblem::Kind::Lost)
        return false;
    const QString path = m_libraryProblem->databasePath;
    auto opened = SQLiteDatabase::open(path);
    if (!opened) {
        veskLog(QStringLiteral("Vesk database open error for ") + path + QStringLiteral(": ")
                + opened.error().logText());
        reportFailure(QStringLiteral("No new library"),
                      QStringLiteral("A new library file could not be made at ") + path + QStringLiteral(": ")
                          + opened.error().plainReason() + QLatin1Char('.'));
        return false;
    }
    veskLog(QStringLiteral("Vesk started a new library at ") + path);
    m_database = std::move(opened.value());
    m_itemsLoaded = true;
    setLibraryProblem(std::nullopt);
    return true;
}

void VeskStore::relocateManagedPaths()
{
    const QString items = managedItemsDirectory();
    bool changed = false;
    for (VeskItem& item : m_items) {
        if (!item.filePath)
            continue;
        if (auto moved = relocatedManagedPath(*item.filePath, item.id, items)) {
            item.filePath = *moved;
            changed = true;
        }
    }
    if (changed)
        emit itemsChanged();
}

std::optional<QString> VeskStore::newestRecoverySnapshot() const
{
    const QDir snapshots(QDir(m_services.dataDirectory).filePath(QStringLiteral("Recovery/Snapshots")));
    if (!snapshots.exists())
        return std::nullopt;
    // Finished snapshots are named by the time they were taken, so the last name is the newest;
    // folders still being built start with a dot and are hidden.
    const QStringList names = snapshots.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (names.isEmpty())
        return std::nullopt;
    return snapshots.filePath(names.last());
}

} // namespace vesk
