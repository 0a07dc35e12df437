#include "store/RecoverySnapshotFolder.h"

#include "intake/ManagedStorage.h"
#include "store/BinaryPropertyList.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUuid>
#include <QVariantMap>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace vesk {

namespace fs = std::filesystem;

namespace {

const QString kFolderNamePattern = QStringLiteral("yyyy-MM-dd_HH-mm-ss-zzz");
const QString kBuildingPrefix = QStringLiteral(".building-");

fs::path toPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

RecoveryError fileError(const QString& what, const fs::path& path, const std::error_code& error)
{
    return RecoveryError::files(what + QStringLiteral(" ") + fromPath(path) + QStringLiteral(": ")
                                + QString::fromStdString(error.message()));
}

Expected<void, RecoveryError> writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return unexpected(RecoveryError::files(QStringLiteral("Could not write ") + path + QStringLiteral(": ")
                                               + file.errorString()));
    return {};
}

} // namespace

QByteArray RecoveryManifest::toJson() const
{
    // QJsonObject keeps its keys sorted, which is the order the manifest is written in.
    QJsonObject object;
    object.insert(QStringLiteral("version"), version);
    object.insert(QStringLiteral("createdAt"), createdAt.toUTC().toString(Qt::ISODate));
    object.insert(QStringLiteral("reason"), reason);
    object.insert(QStringLiteral("managedFileCount"), managedFileCount);
    object.insert(QStringLiteral("secureValuesIncluded"), secureValuesIncluded);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

RecoverySnapshotFolder::RecoverySnapshotFolder(QString dataDirectory, int maximumSnapshotCount,
                                               DatabaseBackupPacing pacing)
    : m_dataDirectory(std::move(dataDirectory)), m_maximumSnapshotCount(maximumSnapshotCount), m_pacing(pacing)
{
}

QString RecoverySnapshotFolder::snapshotsDirectory() const
{
    return QDir(m_dataDirectory).filePath(QStringLiteral("Recovery/Snapshots"));
}

QString RecoverySnapshotFolder::liveDatabasePath() const
{
    return QDir(m_dataDirectory).filePath(QStringLiteral("vesk.sqlite3"));
}

QString RecoverySnapshotFolder::folderName(const QDateTime& startedAt)
{
    return startedAt.toUTC().toString(kFolderNamePattern);
}

std::optional<QDateTime> RecoverySnapshotFolder::dateOfFolderName(const QString& name)
{
    // Date and time are read apart and joined in UTC: read as one local time, a name that falls
    // into a daylight-saving gap of the machine's zone would be shifted or refused.
    if (name.size() != 23 || name.at(10) != QLatin1Char('_'))
        return std::nullopt;
    const QDate date = QDate::fromString(name.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(name.mid(11), QStringLiteral("HH-mm-ss-zzz"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

Expected<QStringList, RecoveryError> RecoverySnapshotFolder::listSnapshots() const
{
    const fs::path folder = toPath(snapshotsDirectory());
    std::error_code error;
    if (!fs::exists(folder, error))
        return QStringList{};
    fs::directory_iterator it(folder, error);
    if (error)
        return unexpected(fileError(QStringLiteral("Could not list recovery snapshots in"), folder, error));

    QStringList names;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error)
            return unexpected(fileError(QStringLiteral("Could not list recovery snapshots in"), folder, error));
        const QString name = fromPath(it->path().filename());
        // Hidden entries include the ".building-" folders of snapshots still being made (or
        // left behind by a process that ended during one).
        if (name.startsWith(QLatin1Char('.')))
            continue;
        std::error_code typeError;
        if (!it->is_directory(typeError) || typeError)
            continue;
        names.append(name);
    }
    if (error)
        return unexpected(fileError(QStringLiteral("Could not list recovery snapshots in"), folder, error));
    std::sort(names.begin(), names.end(), std::greater<>());
    return names;
}

QStringList RecoverySnapshotFolder::removeAbandonedBuildingFolders(qint64 minimumAgeSecs) const
{
    QStringList removed;
    const fs::path folder = toPath(snapshotsDirectory());
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error)
        return removed;
    const auto cutOff = fs::file_time_type::clock::now() - std::chrono::seconds(minimumAgeSecs);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        if (!fromPath(it->path().filename()).startsWith(kBuildingPrefix))
            continue;
        std::error_code entryError;
        if (!it->is_directory(entryError) || entryError)
            continue;
        // The folder's own time moves when a step adds an entry; the database copy's while the
        // backup writes it; either being recent means a snapshot may still be at work.
        auto newest = fs::last_write_time(it->path(), entryError);
        if (entryError)
            continue;
        for (fs::directory_iterator inner(it->path(), entryError); !entryError && inner != fs::directory_iterator();
             inner.increment(entryError)) {
            std::error_code timeError;
            const auto written = fs::last_write_time(inner->path(), timeError);
            if (!timeError)
                newest = std::max(newest, written);
        }
        if (entryError || newest > cutOff)
            continue;
        fs::remove_all(it->path(), entryError);
        if (!entryError)
            removed.append(fromPath(it->path()));
    }
    return removed;
}

Expected<std::optional<QDateTime>, RecoveryError> RecoverySnapshotFolder::newestSnapshotDate() const
{
    auto names = listSnapshots();
    if (!names)
        return unexpected(names.error());
    if (names->isEmpty())
        return std::optional<QDateTime>();
    return dateOfFolderName(names->first());
}

Expected<std::optional<QString>, RecoveryError> RecoverySnapshotFolder::createSnapshot(
    const QString& reason, const QDateTime& startedAt, const RecoveryState& state, bool pruneNow) const
{
    if (!QFileInfo::exists(liveDatabasePath()))
        return std::optional<QString>();

    const fs::path snapshots = toPath(snapshotsDirectory());
    std::error_code error;
    fs::create_directories(snapshots, error);
    if (error)
        return unexpected(fileError(QStringLiteral("Could not create"), snapshots, error));

    const QString finalName = folderName(startedAt);
    const fs::path building
        = snapshots / toPath(kBuildingPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    fs::create_directory(building, error);
    if (error)
        return unexpected(fileError(QStringLiteral("Could not create"), building, error));

    const fs::path finalPath = snapshots / toPath(finalName);
    auto filled = fillSnapshot(fromPath(building), reason, startedAt, state);
    if (filled) {
        if (fs::exists(finalPath, error))
            fs::remove_all(finalPath, error);
        if (!error)
            fs::rename(building, finalPath, error);
        if (error)
            filled = unexpected(fileError(QStringLiteral("Could not move the snapshot into place at"), finalPath, error));
    }
    if (!filled) {
        std::error_code ignored;
        fs::remove_all(building, ignored);
        return unexpected(filled.error());
    }

    if (pruneNow) {
        if (auto pruned = pruneSnapshots(); !pruned)
            return unexpected(pruned.error());
    }
    return std::optional<QString>(fromPath(finalPath));
}

Expected<void, RecoveryError> RecoverySnapshotFolder::fillSnapshot(const QString& buildingPath, const QString& reason,
                                                                   const QDateTime& startedAt,
                                                                   const RecoveryState& state) const
{
    QElapsedTimer elapsed;
    elapsed.start();
    const QDir building(buildingPath);

    auto copied = SQLiteDatabase::backupDatabaseFile(liveDatabasePath(), building.filePath(QStringLiteral("vesk.sqlite3")),
                                                     m_pacing);
    if (!copied)
        return unexpected(copied.error());

    int managedFileCount = 0;
    const QString items = managedItemsDirectoryIn(m_dataDirectory);
    if (QFileInfo(items).isDir()) {
        auto mirrored = mirrorManagedItems(items, building.filePath(QStringLiteral("Items")));
        if (!mirrored)
            return unexpected(mirrored.error());
        managedFileCount = *mirrored;
    }

    auto stateWritten = writeStatePlist(building.filePath(QStringLiteral("Vesk-State.plist")), state);
    if (!stateWritten)
        return stateWritten;

    RecoveryManifest manifest;
    // Written a few moments after the start that names the folder.
    manifest.createdAt = startedAt.toUTC().addMSecs(elapsed.elapsed());
    manifest.reason = reason;
    manifest.managedFileCount = managedFileCount;
    return writeFileAtomically(building.filePath(QStringLiteral("manifest.json")), manifest.toJson());
}

Expected<int, RecoveryError> RecoverySnapshotFolder::mirrorManagedItems(const QString& source,
                                                                        const QString& destination)
{
    const fs::path from = toPath(source);
    const fs::path to = toPath(destination);
    std::error_code error;
    fs::create_directories(to, error);
    if (error)
        return unexpected(fileError(QStringLiteral("Could not create"), to, error));

    fs::recursive_directory_iterator it(from, error);
    if (error)
        return 0;

    int count = 0;
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error)
            break;
        const fs::path& entry = it->path();
        const std::string name = entry.filename().native();
        if (!name.empty() && name.front() == '.') {
            it.disable_recursion_pending();
            continue;
        }
        const fs::path relative = entry.lexically_relative(from);
        if (relative.empty() || relative == ".")
            continue;
        const fs::path target = to / relative;

        const fs::file_status status = it->symlink_status(error);
        if (error)
            return unexpected(fileError(QStringLiteral("Could not read"), entry, error));
        // Folders come before their contents, so every parent below exists by now.
        if (fs::is_directory(status)) {
            fs::create_directory(target, error);
            if (error)
                return unexpected(fileError(QStringLiteral("Could not create"), target, error));
            continue;
        }
        if (!fs::is_regular_file(status) && !fs::is_symlink(status))
            continue; // sockets, pipes and devices hold nothing of the library's

        if (fs::is_symlink(status)) {
            fs::copy_symlink(entry, target, error);
            if (error)
                return unexpected(fileError(QStringLiteral("Could not copy the link"), entry, error));
        } else {
            fs::create_hard_link(entry, target, error);
            if (error) {
                error.clear();
                fs::copy_file(entry, target, error);
                if (error)
                    return unexpected(fileError(QStringLiteral("Could not copy"), entry, error));
            }
        }
        ++count;
    }
    if (error)
        return unexpected(fileError(QStringLiteral("Could not read"), from, error));
    return count;
}

Expected<void, RecoveryError> RecoverySnapshotFolder::writeStatePlist(const QString& path, const RecoveryState& state)
{
    QVariantMap dictionary;
    dictionary.insert(QStringLiteral("snapshotFormat"), 1);
    if (state.manualTags)
        dictionary.insert(QStringLiteral("manualTags"), *state.manualTags);
    if (state.usageSignals)
        dictionary.insert(QStringLiteral("usageSignals"), *state.usageSignals);
    auto encoded = encodeBinaryPropertyList(dictionary);
    if (!encoded)
        return unexpected(RecoveryError::files(encoded.error()));
    return writeFileAtomically(path, *encoded);
}

Expected<void, RecoveryError> RecoverySnapshotFolder::pruneSnapshots() const
{
    auto names = listSnapshots();
    if (!names)
        return unexpected(names.error());
    const fs::path snapshots = toPath(snapshotsDirectory());
    for (qsizetype i = m_maximumSnapshotCount; i < names->size(); ++i) {
        std::error_code ignored;
        fs::remove_all(snapshots / toPath(names->at(i)), ignored);
    }
    return {};
}

} // namespace vesk
