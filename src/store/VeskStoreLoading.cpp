// Start-up loaders of the store, run in the constructor's order.
#include "store/VeskStore.h"

#include "model/VectorBlob.h"
#include "model/ItemFileKinds.h"

#include "platform/Log.h"
#include "search/BringBackDates.h"
#include "store/SQLiteDatabase.h"
#include "model/VeskItemCoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vesk {

namespace {

const QString kLoadMigrationError = QStringLiteral("Vesk SQLite load/migration error: ");

} // namespace

void VeskStore::loadItemsFromDatabase()
{
    if (!m_database) {
        veskLog(QStringLiteral("Vesk database unavailable."));
        setItems({});
        return;
    }

    const auto empty = m_database->isEmpty();
    if (!empty) {
        veskLog(kLoadMigrationError + empty.error().logText());
        failItemsLoad(empty.error());
        return;
    }

    const bool archiveExists = QFileInfo::exists(legacyArchiveURL());
    if (!*empty)
        markLibraryHasHeldItems();
    if (archiveExists) {
        if (*empty && !libraryHasHeldItems()) {
            // A failed migration leaves the archive for the next start, so its items still
            // belong to the library even though none is shown.
            m_itemsLoaded = migrateLegacyArchiveIntoDatabase();
            if (!m_itemsLoaded)
                setItems({});
            return;
        }
        // Already migrated (or superseded) but never set aside: set it aside now, so an emptied
        // library does not bring the old items back.
        migrateLegacyArchive();
    }

    auto fetched = m_database->fetchItems();
    if (!fetched) {
        veskLog(kLoadMigrationError + fetched.error().logText());
        failItemsLoad(fetched.error());
        return;
    }
    setItems(fetched.value());
    relocateManagedPaths();
    m_itemsLoaded = true;
}

bool VeskStore::migrateLegacyArchiveIntoDatabase()
{
    QFile file(legacyArchiveURL());
    if (!file.open(QIODevice::ReadOnly)) {
        veskLog(kLoadMigrationError + file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        veskLog(kLoadMigrationError + file.errorString());
        return false;
    }
    file.close();

    // Record by record: one bad record must not keep every good one out.
    auto decoded = decodeItemArchiveRecords(bytes);
    if (!decoded) {
        veskLog(kLoadMigrationError + decoded.error());
        return false;
    }
    for (const auto& [position, reason] : decoded->badRecords)
        veskLog(QStringLiteral("Vesk legacy JSON archive error: record ") + QString::number(position)
                + QStringLiteral(": ") + reason);
    QList<VeskItem> migrated = decoded->items;
    if (migrated.isEmpty() && !decoded->badRecords.isEmpty()) {
        // Nothing could be read: the archive stays as it is for a later start.
        veskLog(kLoadMigrationError + QStringLiteral("no record of the archive could be read"));
        return false;
    }
    if (auto stored = m_database->upsertItems(migrated); !stored) {
        veskLog(kLoadMigrationError + stored.error().logText());
        return false;
    }
    if (!migrated.isEmpty())
        markLibraryHasHeldItems();
    sortItems(migrated);
    setItems(migrated);
    // The archive is kept whole under its migrated name, bad records and all.
    migrateLegacyArchive();
    if (!decoded->badRecords.isEmpty()) {
        reportFailure(QStringLiteral("Not everything was brought in"),
                      QString::number(decoded->badRecords.size())
                          + (decoded->badRecords.size() == 1 ? QStringLiteral(" record") : QStringLiteral(" records"))
                          + QStringLiteral(" of the old archive could not be read. The archive is kept as ")
                          + migratedArchivePath() + QLatin1Char('.'));
    }
    return true;
}

QString VeskStore::libraryUsedMarkerPath() const
{
    return QDir(m_services.dataDirectory).filePath(QStringLiteral(".vesk-library-has-held-items"));
}

bool VeskStore::libraryHasHeldItems() const
{
    return QFileInfo::exists(libraryUsedMarkerPath());
}

void VeskStore::markLibraryHasHeldItems()
{
    if (libraryHasHeldItems())
        return;
    QSaveFile marker(libraryUsedMarkerPath());
    if (!marker.open(QIODevice::WriteOnly) || marker.write("1\n") < 0 || !marker.commit())
        veskLog(QStringLiteral("Vesk legacy JSON archive error: ") + marker.errorString());
}

void VeskStore::loadGroups()
{
    if (!m_database) {
        setGroups({});
        return;
    }
    auto groups = m_database->fetchGroups();
    if (!groups) {
        veskLog(QStringLiteral("Vesk group load error: ") + groups.error().logText());
        setGroups({});
        return;
    }
    setGroups(groups.value());
}

void VeskStore::reclassifyImageFiles()
{
    bool changed = false;
    const qsizetype count = m_items.size();
    for (qsizetype i = 0; i < count; ++i) {
        VeskItem& item = m_items[i];
        if (item.kind != VeskKind::File || !item.filePath || !hasImageFileExtension(*item.filePath))
            continue;
        item.kind = VeskKind::Image;
        changed = true;
        // A row that cannot be written is marked unsaved and written again later.
        (void)saveItemToDatabase(item);
    }
    if (changed)
        emit itemsChanged();
}

void VeskStore::loadRichText()
{
    if (!m_database) {
        setRichTextByID({});
        return;
    }
    auto richText = m_database->fetchRichText();
    if (!richText) {
        veskLog(QStringLiteral("Vesk rich-text load error: ") + richText.error().logText());
        setRichTextByID({});
        return;
    }
    setRichTextByID(richText.value());
}

void VeskStore::loadEmbeddings()
{
    m_semanticVectors.clear();
    if (!m_database)
        return;
    auto read = m_database->forEachEmbedding([this](const QUuid& id, const QByteArray& blob) {
        m_semanticVectors.insert(id, decodeVectorBlob(blob));
    });
    if (!read) {
        m_semanticVectors.clear();
        veskLog(QStringLiteral("Vesk embedding load error: ") + read.error().logText());
    }
}

void VeskStore::loadBringBackDates()
{
    // Missing or undecodable data is simply no reminders.
    setBringBackDates(decodeBringBackDates(m_services.settings->data(bringBackDefaultsKey)));
}

void VeskStore::loadFaceCaches()
{
    m_faceRecordsCache.clear();
    m_faceClustersCache.clear();
    m_faceRejectionsCache.clear();
    m_ignoredFaceIDsCache.clear();

    if (m_database) {
        auto fail = [this](const DatabaseError& error) {
            veskLog(QStringLiteral("Vesk face cache load error: ") + error.logText());
            m_faceRecordsCache.clear();
            m_faceClustersCache.clear();
            m_faceRejectionsCache.clear();
            m_ignoredFaceIDsCache.clear();
        };
        [&] {
            auto faces = m_database->fetchFaces();
            if (!faces)
                return fail(faces.error());
            m_faceRecordsCache = faces.value();
            auto clusters = m_database->fetchFaceClusters();
            if (!clusters)
                return fail(clusters.error());
            m_faceClustersCache = clusters.value();
            auto rejections = m_database->fetchFaceRejections();
            if (!rejections)
                return fail(rejections.error());
            m_faceRejectionsCache = rejections.value();
            auto ignored = m_database->fetchIgnoredFaceIDs();
            if (!ignored)
                return fail(ignored.error());
            m_ignoredFaceIDsCache = ignored.value();
        }();
    }
    m_facePreviewCache.clear();
}

} // namespace vesk
