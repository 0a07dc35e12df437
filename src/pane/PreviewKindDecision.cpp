#include "pane/PreviewKindDecision.h"

#include "present/DisplayTitles.h"
#include "model/ItemFileKinds.h"

#include <QStringList>

namespace vesk {

bool hasVideoExtension(const VeskItem& item)
{
    static const QStringList video{"mp4", "mov", "m4v"};
    return item.filePath && video.contains(itemFileExtension(item));
}

bool hasAudioExtension(const VeskItem& item)
{
    static const QStringList audio{"mp3", "m4a", "wav", "aac", "aif", "aiff", "caf"};
    return item.filePath && audio.contains(itemFileExtension(item));
}

PreviewSection previewSection(const VeskItem& item)
{
    if (itemHasSecureMarker(item))
        return PreviewSection::Secure;
    if (item.filePath) {
        if (item.filePath->toLower().endsWith(QLatin1String(".vesknote")))
            return PreviewSection::PhotoNote;
        if (item.kind == VeskKind::Activity)
            return PreviewSection::Activity;
        if (hasVideoExtension(item))
            return PreviewSection::Video;
        if (isImageLikeItem(item))
            return PreviewSection::Image;
        if (hasAudioExtension(item))
            return PreviewSection::Audio;
    } else {
        if (item.kind == VeskKind::Activity)
            return PreviewSection::Activity;
        if (isImageLikeItem(item))
            return PreviewSection::Image;
    }
    if (item.text)
        return PreviewSection::Text;
    if (item.urlString)
        return PreviewSection::Link;
    if (!item.filePath)
        return PreviewSection::None;
    return PreviewSection::File;
}

int previewSectionSpacing(PreviewSection section)
{
    switch (section) {
    case PreviewSection::Video:
    case PreviewSection::Audio:
        return 12;
    case PreviewSection::Image:
    case PreviewSection::Link:
    case PreviewSection::File:
        return 10;
    case PreviewSection::Text:
        return 8;
    default:
        return 0;
    }
}

QString previewKindSymbol(const VeskItem& item)
{
    if (itemHasSecureMarker(item))
        return QStringLiteral("lock.shield.fill");
    if (isHTMLSourcedItem(item))
        return QStringLiteral("globe");
    return item.kind == VeskKind::File ? formatBadgeSymbol(item) : veskKindSymbol(item.kind);
}

QString previewFormatLabel(const VeskItem& item)
{
    if (itemHasSecureMarker(item))
        return QStringLiteral("SECURE");
    if (isHTMLSourcedItem(item))
        return QStringLiteral("HTML");
    if (item.kind == VeskKind::File)
        return formatBadgeText(item);
    return veskKindWord(item.kind);
}

bool showsEditButton(const VeskItem& item)
{
    return item.kind == VeskKind::Text && !itemHasSecureMarker(item) && !isHTMLSourcedItem(item);
}

bool showsEditImageButton(const VeskItem& item)
{
    return isImageLikeItem(item);
}

bool showsFormatBadge(const VeskItem& item)
{
    return !isImageLikeItem(item);
}

QString textSectionTitle(const VeskItem& item)
{
    return isHTMLSourcedItem(item) ? QStringLiteral("Page Text") : QStringLiteral("Contents");
}

QList<PreviewDateRow> previewDateRows(const VeskItem& item, const std::optional<QDateTime>& storedFileCreated)
{
    if (storedFileCreated && storedFileCreated->isValid())
        return {{QStringLiteral("Created"), *storedFileCreated}, {QStringLiteral("Vesked"), item.createdAt}};
    return {{QStringLiteral("Created"), item.createdAt}};
}

QString previewDateText(const QDateTime& date, const QLocale& locale)
{
    return abbreviatedDateTimeText(date, locale);
}

} // namespace vesk
