// Note and activity packages from the phone companion: each becomes one item whose file is a
// managed copy of the whole package.
#include "store/VeskStore.h"

#include "intake/MobilePackages.h"
#include "platform/ImageLoader.h"
#include "platform/Log.h"
#include "platform/Uuid.h"
#include "search/SearchText.h"

#include <QFileInfo>

namespace vesk {

namespace {

const QString kActivityMarker = QStringLiteral("__vesk_activity__");
// Every activity item's searchable text begins so; an identifier is looked for after it, or an
// identifier such as "activity" would match every activity.
const QString kActivityFixedWords = kActivityMarker + QStringLiteral(" activity Vesk Mobile");

QString noteMarker(const QString& noteID) { return QStringLiteral("mobile-note-id:") + noteID.toLower(); }

// The manifest of a valid note package; none (logged) otherwise.
std::optional<MobileNoteManifest> validNoteManifest(const QString& package)
{
    const std::optional<QByteArray> json = readSmallFile(package + QStringLiteral("/note.json"));
    std::optional<MobileNoteManifest> manifest = json ? decodeNoteManifest(*json) : std::nullopt;
    if (manifest
        && (manifest->schemaVersion != 1 || manifest->kind != QLatin1String("note") || !parseUuid(manifest->noteID)
            || manifest->attachments.isEmpty()))
        manifest.reset();
    if (!manifest)
        veskLog(QStringLiteral("Vesk note package manifest invalid: ") + QFileInfo(package).fileName());
    return manifest;
}

// Every attachment lies in "media/" inside the package and is a non-empty picture.
bool attachmentsUsable(const QString& package, const QStringList& attachments)
{
    for (const QString& attachment : attachments) {
        if (!attachment.startsWith(QLatin1String("media/"))
            || attachment.split(QLatin1Char('/'), Qt::SkipEmptyParts).contains(QLatin1String("..")))
            return false;
        const PackagePath resolved = resolvePackagePath(package, attachment);
        if (resolved.where != PackagePath::Where::Inside)
            return false;
        const QFileInfo info(resolved.path);
        if (!info.isFile() || info.size() == 0 || ImageLoader::load(resolved.path).isNull())
            return false;
    }
    return true;
}

VeskItem noteItem(const MobileNoteManifest& manifest, const QUuid& id, const QString& managed, const QDateTime& now)
{
    const QString text = manifest.text.trimmed();
    VeskItem item;
    item.id = id;
    item.kind = VeskKind::Text;
    item.title = text.isEmpty() ? QStringLiteral("Photo Note") : deriveTitle(text);
    item.createdAt = now;
    item.text = text;
    item.filePath = managed;
    item.searchableText = QStringList{text, noteMarker(manifest.noteID), QStringLiteral("attached photos"),
                                      QStringLiteral("Vesk Mobile")}
                              .join(QLatin1Char(' '));
    item.note = QString();
    return item;
}

// The manifest of an activity package folder, or of a lone manifest file.
std::optional<MobileActivityManifest> readActivityManifest(const QString& package)
{
    const QString manifestPath =
        QFileInfo(package).isDir() ? package + QStringLiteral("/activity.json") : package;
    const std::optional<QByteArray> json = readSmallFile(manifestPath);
    return json ? decodeActivityManifest(*json) : std::nullopt;
}

VeskItem activityItem(const std::optional<MobileActivityManifest>& manifest, const QString& packageName,
                      const QUuid& id, const QString& managed, const QDateTime& now)
{
    QString title = manifest && manifest->title ? manifest->title->trimmed() : QString();
    if (title.isEmpty())
        title = QFileInfo(packageName).completeBaseName().trimmed();
    if (title.isEmpty())
        title = QStringLiteral("Vesk Mobile Activity");

    QStringList noteParts;
    QStringList parts{kActivityMarker, QStringLiteral("activity"), QStringLiteral("Vesk Mobile"), title, packageName};
    if (manifest) {
        for (const std::optional<QString>& text : {manifest->summary, manifest->notes}) {
            if (text && !text->trimmed().isEmpty())
                noteParts.append(text->trimmed());
        }
        const auto add = [&parts](const std::optional<QString>& value, const QString& prefix = {}) {
            if (value && !value->isEmpty())
                parts.append(prefix + *value);
        };
        add(manifest->activityID);
        add(manifest->activityType);
        add(manifest->startedAt, QStringLiteral("started "));
        add(manifest->endedAt, QStringLiteral("ended "));
        add(manifest->summary);
        add(manifest->notes);
        add(manifest->locationSummary);
        if (manifest->captureCount)
            parts.append(QString::number(*manifest->captureCount) + QStringLiteral(" captures"));
    }

    VeskItem item;
    item.id = id;
    item.kind = VeskKind::Activity;
    item.title = title;
    item.createdAt = now;
    item.filePath = managed;
    item.searchableText = parts.join(QLatin1Char(' '));
    item.note = noteParts.join(QLatin1Char('\n'));
    return item;
}

} // namespace

bool VeskStore::isActivityPackage(const QString& path, bool isFolder)
{
    if (hasActivityPackageExtension(path))
        return true;
    return isFolder && QFileInfo::exists(path + QStringLiteral("/activity.json"));
}

std::optional<bool> VeskStore::importIfPackage(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (info.isDir() && hasNotePackageExtension(path))
        return importMobileNotePackage(path);
    if (isActivityPackage(path, info.isDir()))
        return importActivityPackage(path);
    return std::nullopt;
}

bool VeskStore::importMobileNotePackage(const QString& package)
{
    assertMainThread();
    const std::optional<MobileNoteManifest> manifest = validNoteManifest(package);
    if (!manifest || !attachmentsUsable(package, manifest->attachments))
        return false;

    const QString marker = noteMarker(manifest->noteID);
    for (const VeskItem& held : std::as_const(m_items)) {
        if (held.searchableText.contains(marker)) {
            setSelectedID(held.id);
            setSelectedIDs({held.id});
            return !m_unsavedItemIDs.contains(held.id);
        }
    }

    const QUuid id = QUuid::createUuid();
    const std::optional<QString> managed = copyIntoManagedStorage(package, id);
    if (!managed)
        return false;
    const VeskItem item = noteItem(*manifest, id, *managed, m_services.clock->now());
    const bool saved = commitNewItem(item);
    setIntakeNotice(VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Captured,
                                     QStringLiteral("Note with photos received"), item.title, item.id});
    return saved;
}

bool VeskStore::importActivityPackage(const QString& package)
{
    assertMainThread();
    // Read from the source: a package already held then leaves no orphan copy behind.
    const std::optional<MobileActivityManifest> manifest = readActivityManifest(package);
    const QString identity = manifest && manifest->activityID ? manifest->activityID->trimmed() : QString();
    if (!identity.isEmpty()) {
        for (const VeskItem& held : std::as_const(m_items)) {
            if (held.kind != VeskKind::Activity)
                continue;
            const QString text = held.searchableText.startsWith(kActivityFixedWords)
                ? held.searchableText.mid(kActivityFixedWords.size())
                : held.searchableText;
            if (containsWholeToken(text, identity)) {
                setSelectedID(held.id);
                setSelectedIDs({held.id});
                return !m_unsavedItemIDs.contains(held.id);
            }
        }
    }

    const QUuid id = QUuid::createUuid();
    const std::optional<QString> managed = copyIntoManagedStorage(package, id);
    if (!managed) {
        veskLog(QStringLiteral("Vesk could not preserve Activity package at ") + package);
        return false;
    }
    const VeskItem item =
        activityItem(manifest, QFileInfo(package).fileName(), id, *managed, m_services.clock->now());
    const bool saved = commitNewItem(item);
    setIntakeNotice(VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Captured,
                                     QStringLiteral("Activity received"), item.title, item.id});
    return saved;
}

void VeskStore::rerouteStoredPackages()
{
    assertMainThread();
    const QList<VeskItem> held = m_items;
    for (const VeskItem& item : held) {
        if (item.kind != VeskKind::File || !item.filePath)
            continue;
        const QString copy = *item.filePath;
        const QFileInfo info(copy);
        if (!info.exists())
            continue;
        std::optional<VeskItem> rerouted;
        if (info.isDir() && hasNotePackageExtension(copy)) {
            const std::optional<MobileNoteManifest> manifest = validNoteManifest(copy);
            if (manifest && attachmentsUsable(copy, manifest->attachments))
                rerouted = noteItem(*manifest, item.id, copy, item.createdAt);
        } else if (isActivityPackage(copy, info.isDir())) {
            rerouted = activityItem(readActivityManifest(copy), info.fileName(), item.id, copy, item.createdAt);
        }
        if (!rerouted)
            continue;
        // Group, source and the user's own note stay as they were.
        VeskItem updated = item;
        updated.kind = rerouted->kind;
        updated.title = rerouted->title;
        updated.text = rerouted->text;
        updated.searchableText = rerouted->searchableText;
        if (!rerouted->note.isEmpty())
            updated.note = item.note.isEmpty() ? rerouted->note : item.note + QLatin1Char('\n') + rerouted->note;
        updateItem(updated);
    }
}

} // namespace vesk
