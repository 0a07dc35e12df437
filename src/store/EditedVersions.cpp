// Edited versions of pictures and moments of videos: a new managed file and a new item derived
// from the source.
#include "store/EditedVersions.h"

#include "intake/ManagedStorage.h"
#include "model/ItemFileKinds.h"
#include "model/ServiceInterfaces.h"
#include "platform/Clock.h"
#include "platform/DurableFile.h"
#include "platform/Log.h"
#include "platform/FutureDelivery.h"
#include "platform/Uuid.h"
#include "platform/WorkPool.h"
#include "store/FailureWording.h"
#include "store/ItemAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <climits>
#include <cmath>
#include <limits>

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

// The longest beginning of base, in whole user-perceived characters, that leaves the file name
// with its suffix within what a file system takes in one name (bytes, as the name is written).
// Every version of a version adds a suffix, so without this a long chain stops being savable.
QString baseNameFitting(const QString& base, const QString& suffix)
{
    const qsizetype budget = qsizetype(NAME_MAX) - suffix.toUtf8().size();
    if (base.toUtf8().size() <= budget)
        return base;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, base);
    qsizetype fitting = 0;
    qsizetype bytes = 0;
    qsizetype previous = 0;
    for (qsizetype next = graphemes.toNextBoundary(); next > 0; next = graphemes.toNextBoundary()) {
        bytes += QStringView(base).sliced(previous, next - previous).toUtf8().size();
        if (bytes > budget)
            break;
        fitting = next;
        previous = next;
    }
    return base.left(fitting);
}


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

EditedVersions::EditedVersions(QString managedItemsDirectory, std::shared_ptr<Clock> clock,
                               std::shared_ptr<ThumbnailProvider> thumbnails, ItemAccess& items)
    : m_itemsDirectory(std::move(managedItemsDirectory))
    , m_clock(std::move(clock))
    , m_thumbnails(std::move(thumbnails))
    , m_items(items)
{
}

// The new version, as planned on the main thread before its file is written.
struct EditedVersions::EditedImagePlan {
    VeskItem edited;
    VeskItem root;
    QString baseName;
    QString folder;
    QString filePath;
};

// What a failed write of the version's file says: the system's words and where it happened.
struct EditedVersions::EditedImageWriteFailure {
    IoFailure error;
    QString path;
};

std::optional<EditedVersions::EditedImagePlan> EditedVersions::planEditedImage(const VeskItem& item,
                                                                               const QString& extension)
{
    if (!isImageLikeItem(item))
        return std::nullopt;

    EditedImagePlan plan;
    plan.edited = item;
    plan.root = m_items.sourceItem(item);
    const QUuid newID = QUuid::createUuid();
    const QString idString = uuidString(newID);
    const QString suffix = QStringLiteral("-edited-") + idString.left(8) + QLatin1Char('.') + editedExtension(extension);
    plan.baseName = baseNameFitting(editedBaseName(item), suffix);
    plan.folder = QDir(m_itemsDirectory).filePath(idString);
    plan.filePath = QDir(plan.folder).filePath(plan.baseName + suffix);

    // A library that takes no new items would refuse the row: no file is written for it.
    if (const std::optional<QString> refusal = m_items.newItemRefusal()) {
        veskLog(QStringLiteral("Vesk derived-image save error: ") + *refusal);
        reportNotKept(item, *refusal);
        return std::nullopt;
    }
    plan.edited.id = newID;
    return plan;
}

void EditedVersions::reportNotKept(const VeskItem& item, const QString& reason)
{
    // What did not happen is said where the user looks, with its reason, as every refused
    // intake is; the editor's alert stays open beside it.
    m_items.reportFailure(QStringLiteral("Not kept"), QStringLiteral("The edited version of ") + quotedItemTitle(item.title)
                                                        + QStringLiteral(" was not kept: ") + reason + QLatin1Char('.'));
}

std::optional<EditedVersions::EditedImageWriteFailure> EditedVersions::writeEditedFile(
    const QString& itemsDirectory, const QString& folder, const QString& filePath, const QByteArray& data)
{
    const auto fail = [&](const IoFailure& error, const QString& path) {
        // The folder is new and ours alone: nothing of a failed save stays under "Items".
        if (QFileInfo(folder).isDir())
            QDir(folder).removeRecursively();
        return std::optional<EditedImageWriteFailure>(EditedImageWriteFailure{error, path});
    };
    if (const Expected<void, IoFailure> made = makeFolders(folder); !made)
        return fail(made.error(), folder);
    // Every byte on the disk before a row can name the file: an edited version is never empty.
    if (const Expected<void, DurableWriteFailure> written = writeFileDurably(filePath, data); !written)
        return fail(written.error().reason, filePath);
    // The item's folder is new in "Items": without that entry on the disk a power cut loses the file.
    if (!syncDirectory(itemsDirectory))
        return fail(IoFailure::writing(errno), itemsDirectory);
    return std::nullopt;
}

std::optional<VeskItem> EditedVersions::saveEditedImage(const QByteArray& data, const VeskItem& item, const QString& extension)
{
    const std::optional<EditedImagePlan> plan = planEditedImage(item, extension);
    if (!plan)
        return std::nullopt;
    return finishEditedImage(*plan, writeEditedFile(m_itemsDirectory, plan->folder, plan->filePath, data));
}

void EditedVersions::saveEditedImageLater(const QByteArray& data, const VeskItem& item, const QString& extension,
                                          QObject* receiver, std::function<void(const std::optional<VeskItem>&)> done)
{
    const std::optional<EditedImagePlan> plan = planEditedImage(item, extension);
    if (!plan) {
        // Answered from the event loop, as a written version is.
        QMetaObject::invokeMethod(receiver, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    // The flushes of the file and its folders wait on the disk, seconds on a busy one: not on the
    // main thread.
    QFuture<std::optional<EditedImageWriteFailure>> written = QtConcurrent::run(workPool(),
        [itemsDirectory = m_itemsDirectory, folder = plan->folder, filePath = plan->filePath, data] {
            return writeEditedFile(itemsDirectory, folder, filePath, data);
        });
    deliverResult(receiver, written,
        [this, plan = *plan, done = std::move(done)](const std::optional<EditedImageWriteFailure>& failure) {
            done(finishEditedImage(plan, failure));
        });
}

std::optional<VeskItem> EditedVersions::finishEditedImage(const EditedImagePlan& plan,
                                                          const std::optional<EditedImageWriteFailure>& failure)
{
    if (failure) {
        veskLog(QStringLiteral("Vesk derived-image save error: ") + failure->error.logText() + QStringLiteral(" (")
                + failure->path + QLatin1Char(')'));
        reportNotKept(plan.edited, failure->error.plainWords());
        return std::nullopt;
    }
    const QUuid newID = plan.edited.id;
    const VeskItem& root = plan.root;

    VeskItem edited;
    edited.id = newID;
    edited.title = QFileInfo(plan.filePath).fileName();
    edited.kind = VeskKind::Image;
    edited.createdAt = m_clock->now();
    edited.filePath = plan.filePath;
    edited.searchableText = QStringList{plan.baseName, QStringLiteral("edited"), QStringLiteral("derived image"), root.title}
                                .join(QLatin1Char(' '));
    edited.groupID = plan.edited.groupID;
    edited.sourceItemID = root.id;

    // A row the library file refused is logged and said by the commit ("Not saved … tries
    // again"); the item stays on screen with its file and is written at a retry. The save counts:
    // the editor closes, so one edit never becomes two versions, and "saved" is said only once
    // the row is in the file. A refused item leaves nothing behind.
    if (!m_items.commitNewItem(edited).hasValue() && !m_items.currentItem(newID)) {
        veskLog(QStringLiteral("Vesk derived-image save error: the item was refused"));
        QDir(plan.folder).removeRecursively();
        return std::nullopt;
    }
    // Fills the thumbnail cache; the picture itself is not needed here.
    m_thumbnails->thumbnail(edited, kThumbnailWarmUpSize);
    m_items.announceWhenRowWritten(newID, RowWait::ThroughRetries,
                                   VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Version,
                                                    QStringLiteral("Edited version saved"), root.title, newID});
    return edited;
}

QString EditedVersions::videoMomentTimeText(double seconds)
{
    // Whole seconds towards zero; a value no player gives (not finite, beyond range) counts as 0.
    const double truncated = std::trunc(seconds);
    const qint64 whole = std::isfinite(truncated) && std::abs(truncated) < 1e15 ? std::max<qint64>(0, qint64(truncated)) : 0;
    if (whole < 3600)
        return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
    return QString::asprintf("%lld:%02lld:%02lld", whole / 3600, (whole % 3600) / 60, whole % 60);
}

Expected<VeskItem, QString> EditedVersions::saveVideoMoment(const QString& clipPath, const VeskItem& previewed,
                                                            double centreSeconds)
{
    if (!previewed.filePath)
        return unexpected(QString());
    const QFileInfo previewedFile(*previewed.filePath);
    if (!isVideoExtension(previewedFile.suffix().toLower()))
        return unexpected(QString());

    const VeskItem source = m_items.sourceItem(previewed);
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
    const QString folder = QDir(m_itemsDirectory).filePath(idText);

    // The clip is on the disk, whole, before a row can name it.
    const Expected<ManagedCopy, IoFailure> copy =
        copyIntoManagedStorage(QFile::encodeName(clipPath), fileName, m_itemsDirectory, id);
    if (!copy) {
        veskLog(QStringLiteral("Vesk derived-video save error: ") + copy.error().logText());
        // The item's own folder, made for this copy, goes with it: nothing is left half-kept.
        QDir(folder).removeRecursively();
        return unexpected(copy.error().plainWords());
    }
    const QString destination = copy->path;

    VeskItem item;
    item.id = id;
    item.title = momentTitle(source, timeText);
    item.kind = VeskKind::File;
    item.createdAt = m_clock->now();
    item.filePath = destination;
    item.searchableText = QStringList{baseName, item.title, QStringLiteral("moment"), QStringLiteral("video moment"),
                                      QStringLiteral("derived video"), QStringLiteral("timestamp ") + timeText,
                                      source.title}
                              .join(QLatin1Char(' '));
    item.note = QString();
    item.groupID = previewed.groupID;
    item.sourceItemID = source.id;
    if (const Expected<void, QString> committed = m_items.commitNewItem(item);
        !committed && !m_items.rowWaitsForLibraryCheck(id)) {
        // The failure notice says what happened; announcing the moment as saved beside it would
        // say the opposite. A row the store keeps trying needs its clip; one it refused does not.
        veskLog(QStringLiteral("Vesk derived-video save error: the item could not be written"));
        if (!m_items.currentItem(item.id)) {
            QDir(folder).removeRecursively();
            return unexpected(committed.error());
        }
        return unexpected(committed.error() + QStringLiteral(". Vesk keeps it on screen and tries again"));
    }
    (void)m_thumbnails->thumbnail(item, 520);

    VeskIntakeNotice notice;
    notice.id = QUuid::createUuid();
    notice.kind = VeskIntakeNoticeKind::Version;
    notice.title = QStringLiteral("Video moment saved");
    notice.detail = item.title;
    notice.relatedID = item.id;
    m_items.announceWhenRowWritten(item.id, RowWait::FirstWrite, notice);
    m_items.select(item.id);
    return item;
}

} // namespace vesk
