// A moment of a video kept as a new item of its own.
#include "store/VeskStore.h"

#include "intake/ManagedStorage.h"
#include "platform/Log.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace vesk {

namespace {

bool isVideoExtension(const QString& lowerExtension)
{
    return lowerExtension == QLatin1String("mov") || lowerExtension == QLatin1String("mp4")
        || lowerExtension == QLatin1String("m4v");
}

// The source's title reduced to a name, or nothing when it only names a recording machine-made.
QString momentTitle(const VeskItem& source, const QString& timeText)
{
    const QString name = QFileInfo(source.title.trimmed()).completeBaseName();
    static const QRegularExpression recording(QStringLiteral("^Video-\\d{4}-\\d{2}-\\d{2}-\\d{6}-[A-F0-9]{8}$"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression output(
        QStringLiteral("^video-output-[A-F0-9]{8}-[A-F0-9]{4}-[A-F0-9]{4}-[A-F0-9]{4}-[A-F0-9]{12}(?:-\\d+)?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (name.isEmpty() || recording.match(name).hasMatch() || output.match(name).hasMatch()
        || name == QLatin1String("Video Moment"))
        return QStringLiteral("Video Moment \u2014 ") + timeText;
    return name + QStringLiteral(" \u2014 Moment at ") + timeText;
}

} // namespace

QString VeskStore::videoMomentTimeText(double seconds)
{
    // Whole seconds towards zero; a value no player gives (not finite, beyond range) counts as 0.
    const double truncated = std::trunc(seconds);
    const qint64 whole = std::isfinite(truncated) && std::abs(truncated) < 1e15 ? std::max<qint64>(0, qint64(truncated)) : 0;
    if (whole < 3600)
        return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
    return QString::asprintf("%lld:%02lld:%02lld", whole / 3600, (whole % 3600) / 60, whole % 60);
}

std::optional<VeskItem> VeskStore::saveVideoMoment(const QString& clipPath, const VeskItem& previewed,
                                                   double centreSeconds)
{
    assertMainThread();
    if (!previewed.filePath)
        return std::nullopt;
    const QFileInfo previewedFile(*previewed.filePath);
    if (!isVideoExtension(previewedFile.suffix().toLower()))
        return std::nullopt;

    const VeskItem source = sourceItem(previewed);
    const QUuid id = QUuid::createUuid();
    QString baseName = previewedFile.completeBaseName();
    if (baseName.isEmpty())
        baseName = QStringLiteral("Vesk Video");
    QString extension = QFileInfo(clipPath).suffix().toLower();
    if (extension.isEmpty())
        extension = QStringLiteral("mov");
    const QString timeText = videoMomentTimeText(centreSeconds);
    const QString idText = uuidString(id);
    const QString fileName = baseName + QStringLiteral("-moment-") + QString(timeText).replace(QLatin1Char(':'), QLatin1Char('-'))
        + QLatin1Char('-') + idText.left(8) + QLatin1Char('.') + extension;
    const QString folder = QDir(managedItemsDirectory()).filePath(idText);

    // The clip is on the disk, whole, before a row can name it.
    const Expected<ManagedCopy, QString> copy =
        copyIntoManagedStorage(QFile::encodeName(clipPath), fileName, managedItemsDirectory(), id);
    if (!copy) {
        veskLog(QStringLiteral("Vesk derived-video save error: ") + copy.error());
        // The item's own folder, made for this copy, goes with it: nothing is left half-kept.
        QDir(folder).removeRecursively();
        return std::nullopt;
    }
    const QString destination = copy->path;

    VeskItem item;
    item.id = id;
    item.title = momentTitle(source, timeText);
    item.kind = VeskKind::File;
    item.createdAt = m_services.clock->now();
    item.filePath = destination;
    item.searchableText = QStringList{baseName, item.title, QStringLiteral("moment"), QStringLiteral("video moment"),
                                      QStringLiteral("derived video"), QStringLiteral("timestamp ") + timeText,
                                      source.title}
                              .join(QLatin1Char(' '));
    item.note = QString();
    item.groupID = previewed.groupID;
    item.sourceItemID = source.id;
    if (!commitNewItem(item)) {
        // The failure notice says what happened; announcing the moment as saved beside it would
        // say the opposite. A row the store keeps trying needs its clip; one it refused does not.
        veskLog(QStringLiteral("Vesk derived-video save error: the item could not be written"));
        if (indexOfItem(item.id) < 0)
            QDir(folder).removeRecursively();
        return std::nullopt;
    }
    (void)m_services.thumbnails->thumbnail(item, 520);

    VeskIntakeNotice notice;
    notice.id = QUuid::createUuid();
    notice.kind = VeskIntakeNoticeKind::Version;
    notice.title = QStringLiteral("Video moment saved");
    notice.detail = item.title;
    notice.relatedID = item.id;
    setIntakeNotice(notice);
    select(item.id);
    return item;
}

} // namespace vesk
