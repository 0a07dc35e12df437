// Edited versions of pictures: a new managed file and a new item derived from the source.
#include "store/VeskStore.h"

#include "model/ItemFileKinds.h"
#include "platform/Log.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace vesk {

namespace {

constexpr int kThumbnailWarmUpSize = 520;
const QString kFallbackBaseName = QStringLiteral("Vesk-Image");

// A title or file name made safe as one file name: no folder separators, no NUL, and no leading
// dots (which would hide the file or name "." and "..").
QString safeFileNamePart(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('-'));
    text.remove(QChar(u'\0'));
    qsizetype dots = 0;
    while (dots < text.size() && text.at(dots) == QLatin1Char('.'))
        ++dots;
    return text.mid(dots);
}

QString editedExtension(const QString& extension)
{
    QString trimmed = extension;
    while (trimmed.startsWith(QLatin1Char('.')))
        trimmed.remove(0, 1);
    while (trimmed.endsWith(QLatin1Char('.')))
        trimmed.chop(1);
    trimmed = safeFileNamePart(trimmed.toLower());
    return trimmed.isEmpty() ? QStringLiteral("png") : trimmed;
}

QString editedBaseName(const VeskItem& item)
{
    const QString base = item.filePath ? QFileInfo(*item.filePath).completeBaseName() : item.title;
    const QString safe = safeFileNamePart(base);
    return safe.isEmpty() ? kFallbackBaseName : safe;
}

} // namespace

std::optional<VeskItem> VeskStore::saveEditedImage(const QByteArray& data, const VeskItem& item, const QString& extension)
{
    assertMainThread();
    if (!isImageLikeItem(item))
        return std::nullopt;

    const VeskItem root = sourceItem(item);
    const QUuid newID = QUuid::createUuid();
    const QString idString = uuidString(newID);
    const QString baseName = editedBaseName(item);
    const QString fileName = baseName + QStringLiteral("-edited-") + idString.left(8) + QLatin1Char('.')
        + editedExtension(extension);

    const QString folder = QDir(managedItemsDirectory()).filePath(idString);
    const QString filePath = QDir(folder).filePath(fileName);
    const auto fail = [&](const QString& error) -> std::optional<VeskItem> {
        veskLog(QStringLiteral("Vesk derived-image save error: ") + error);
        // The folder is new and ours alone: nothing of a failed save stays under "Items".
        if (QFileInfo(folder).isDir())
            QDir(folder).removeRecursively();
        return std::nullopt;
    };
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("could not create the folder ") + folder);
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString() + QStringLiteral(" (") + filePath + QLatin1Char(')'));
    if (file.write(data) != data.size() || !file.commit())
        return fail(file.errorString() + QStringLiteral(" (") + filePath + QLatin1Char(')'));

    VeskItem edited;
    edited.id = newID;
    edited.title = fileName;
    edited.kind = VeskKind::Image;
    edited.createdAt = m_services.clock->now();
    edited.filePath = filePath;
    edited.searchableText = QStringList{baseName, QStringLiteral("edited"), QStringLiteral("derived image"), root.title}
                                .join(QLatin1Char(' '));
    edited.groupID = item.groupID;
    edited.sourceItemID = root.id;

    // A failed row write is logged by the commit; the file and the item in memory stay, as for
    // any new item.
    (void)commitNewItem(edited);
    // Fills the thumbnail cache; the picture itself is not needed here.
    m_services.thumbnails->thumbnail(edited, kThumbnailWarmUpSize);
    setIntakeNotice(VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Version,
                                     QStringLiteral("Edited version saved"), root.title, newID});
    return edited;
}

} // namespace vesk
