#include "intake/PackageImport.h"

#include "intake/FileImportJob.h"
#include "intake/InboxEntryCheck.h"
#include "intake/ManagedStorage.h"
#include "platform/image/ImageLoader.h"
#include "platform/Log.h"
#include "platform/Uuid.h"

#include <QFileInfo>

namespace vesk {

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

std::optional<QString> noteAttachmentsRefusal(const QString& package, const QStringList& attachments)
{
    for (const QString& attachment : attachments) {
        const QString photo = QStringLiteral("the photo \u201C") + attachment + QStringLiteral("\u201D");
        if (!attachment.startsWith(QLatin1String("media/"))
            || attachment.split(QLatin1Char('/'), Qt::SkipEmptyParts).contains(QLatin1String("..")))
            return photo + QStringLiteral(" lies outside its media folder");
        const PackagePath resolved = resolvePackagePath(package, attachment);
        if (resolved.where == PackagePath::Where::Outside)
            return photo + QStringLiteral(" leads outside the package");
        if (resolved.where == PackagePath::Where::Missing)
            return photo + QStringLiteral(" is missing");
        const QFileInfo info(resolved.path);
        if (!info.isFile())
            return photo + QStringLiteral(" is not a file");
        if (info.size() == 0)
            return photo + QStringLiteral(" is empty");
        // Decoded small: whether it is a picture is all that is asked here.
        if (ImageLoader::load(resolved.path, 64).isNull())
            return photo + QStringLiteral(" is not a picture");
    }
    return std::nullopt;
}

std::optional<MobileActivityManifest> readActivityManifest(const QString& package)
{
    const QString manifestPath =
        QFileInfo(package).isDir() ? package + QStringLiteral("/activity.json") : package;
    const std::optional<QByteArray> json = readSmallFile(manifestPath);
    return json ? decodeActivityManifest(*json) : std::nullopt;
}

namespace {

// The managed copy of the package into prepared, or why it could not be made.
void makeManagedCopy(PreparedPackage& prepared, const QString& package, const QString& itemsDirectory, const QUuid& id)
{
    const Expected<QString, IoFailure> copied = copyIntoManagedStorage(package, itemsDirectory, id);
    if (!copied) {
        veskLog(QStringLiteral("Vesk copy error for ") + package + QStringLiteral(": ") + copied.error().logText());
        prepared.copyFailure = copied.error().plainWords();
        return;
    }
    prepared.managedPath = copied.value();
}

} // namespace

PreparedPackage prepareNotePackage(const QString& package, const QString& itemsDirectory, const QUuid& id)
{
    PreparedPackage prepared;
    prepared.source = package;
    prepared.missing = !QFileInfo::exists(package);
    if (prepared.missing)
        return prepared;
    prepared.stamp = entryTreeStamp(package);
    prepared.note = validNoteManifest(package);
    if (!prepared.note) {
        prepared.refusal = QStringLiteral("its note.json is not a valid note");
        return prepared;
    }
    prepared.refusal = noteAttachmentsRefusal(package, prepared.note->attachments);
    if (prepared.refusal)
        return prepared;
    makeManagedCopy(prepared, package, itemsDirectory, id);
    return prepared;
}

PreparedPackage prepareActivityPackage(const QString& package, const QString& itemsDirectory, const QUuid& id)
{
    PreparedPackage prepared;
    prepared.source = package;
    prepared.missing = !QFileInfo::exists(package);
    if (prepared.missing)
        return prepared;
    prepared.activity = readActivityManifest(package);
    makeManagedCopy(prepared, package, itemsDirectory, id);
    if (!prepared.managedPath)
        veskLog(QStringLiteral("Vesk could not preserve Activity package at ") + package);
    return prepared;
}

} // namespace vesk
