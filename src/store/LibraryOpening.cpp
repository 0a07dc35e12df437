// Whether the library can be used: opening its file, the read-only, unreadable and lost library,
// and the user's word to start anew over a lost one.
#include "store/LibraryHealth.h"

#include "platform/Log.h"
#include "store/LibraryHealthHost.h"
#include "store/SQLiteDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vesk {

namespace {

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

// Why the data folder takes no writes, in plain words, or none when it does: a file of a few
// pages is written there and removed. The library is then opened for reading only rather than
// refused, so that the user can still find what is in it.
std::optional<QString> writeRefusal(const QString& dataDirectory, const QString& databasePath)
{
    const QByteArray database = QFile::encodeName(databasePath);
    if (::access(database.constData(), F_OK) != 0)
        return std::nullopt; // nothing to read: opening says why there is no library
    const auto reasonFor = [](int error) -> std::optional<QString> {
        switch (error) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return QStringLiteral("the disk is full");
        case EROFS: return QStringLiteral("the disk is read-only");
        case EACCES:
        case EPERM: return QStringLiteral("the library folder is read-only");
        default: return std::nullopt;
        }
    };
    if (::access(database.constData(), W_OK) != 0)
        return errno == EROFS ? QStringLiteral("the disk is read-only") : QStringLiteral("the library file is read-only");
    const QByteArray probe = QFile::encodeName(QDir(dataDirectory).filePath(QStringLiteral(".vesk-write-check")));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return reasonFor(errno);
    // Room for a commit of a few pages and its journal.
    const QByteArray room(64 * 1024, '\0');
    const ssize_t written = ::write(fd, room.constData(), size_t(room.size()));
    const int error = written == room.size() ? 0 : (written < 0 ? errno : ENOSPC);
    ::close(fd);
    ::unlink(probe.constData());
    return error ? reasonFor(error) : std::nullopt;
}

} // namespace

QString LibraryHealth::libraryFilePath() const
{
    return QDir(m_services.dataDirectory).filePath(QStringLiteral("vesk.sqlite3"));
}

void LibraryHealth::setLibraryProblem(const std::optional<VeskLibraryProblem>& value)
{
    if (m_libraryProblem == value)
        return;
    m_libraryProblem = value;
    emit libraryProblemChanged();
}

std::unique_ptr<SQLiteDatabase> LibraryHealth::openLibrary()
{
    const QString path = libraryFilePath();
    if (m_host.libraryHasHeldItems()) {
        if (const std::optional<QString> reason = lostLibraryReason(path)) {
            // A new, empty file here would pass for the library and hide that it is gone.
            veskLog(QStringLiteral("Vesk library lost for ") + path + QStringLiteral(": ") + *reason);
            setLibraryProblem(VeskLibraryProblem{VeskLibraryProblem::Kind::Lost, path, *reason,
                                                 newestRecoverySnapshot()});
            return nullptr;
        }
    }
    if (const std::optional<QString> refusal = writeRefusal(m_services.dataDirectory, path))
        return openForReading(path, *refusal);
    auto opened = SQLiteDatabase::open(path);
    if (!opened) {
        veskLog(QStringLiteral("Vesk database open error for ") + path + QStringLiteral(": ")
                + opened.error().logText());
        setLibraryProblem(VeskLibraryProblem{VeskLibraryProblem::Kind::Unreadable, path,
                                             opened.error().plainReason(), newestRecoverySnapshot()});
        return nullptr;
    }
    // A snapshot of a file that cannot be read would only push good snapshots out: the launch
    // snapshot follows the check of the file's structure, made after the first frame, and new
    // rows wait for it too. A library that takes no writes gets neither.
    m_libraryCheck = CheckState::Waiting;
    return std::move(opened.value());
}

std::unique_ptr<SQLiteDatabase> LibraryHealth::openForReading(const QString& path, const QString& reason)
{
    veskLog(QStringLiteral("Vesk opened the library read-only for ") + path + QStringLiteral(": ") + reason);
    // Read-only, not immutable: changes committed into the journal before the disk filled are
    // part of the library and must be read. No schema is made or extended: a file that lacks
    // newer columns is read as it is.
    auto opened = SQLiteDatabase::openForReading(path);
    Expected<bool, DatabaseError> readable = opened ? (*opened)->isEmpty() : unexpected(opened.error());
    if (!readable) {
        veskLog(QStringLiteral("Vesk database open error for ") + path + QStringLiteral(": ")
                + readable.error().logText());
        // Reading a journalled library needs a small shared-memory file beside it; on a full
        // disk it cannot be made.
        const QString why = reason == QLatin1String("the disk is full")
            ? QStringLiteral("the disk is full, and the library cannot be opened until space is freed on it")
            : reason + QStringLiteral(", and the library cannot be read from it: ") + readable.error().plainReason();
        setLibraryProblem(VeskLibraryProblem{VeskLibraryProblem::Kind::Unreadable, path, why, newestRecoverySnapshot()});
        return nullptr;
    }
    m_readOnlyReason = reason;
    return std::move(opened.value());
}

void LibraryHealth::reportUnreadable(const QString& path, const DatabaseError& error)
{
    setLibraryProblem(VeskLibraryProblem{VeskLibraryProblem::Kind::Unreadable, path, error.plainReason(),
                                         newestRecoverySnapshot()});
}

bool LibraryHealth::startNewLibrary()
{
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
    m_host.adoptNewLibrary(std::move(opened.value()));
    setLibraryProblem(std::nullopt);
    return true;
}

std::optional<QString> LibraryHealth::newestRecoverySnapshot() const
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
