#include "grid/VeskCardStyle.h"

#include "platform/Graphemes.h"

#include "model/ItemFileKinds.h"

#include <QFileInfo>
#include <QUrl>

namespace vesk {

VeskCardStyle cardStyleFor(const VeskCardFlags& f)
{
    VeskCardStyle s;
    const bool searchingTop = f.isSearching && f.isTopResult;

    if (f.isSelected || f.isTopResult) {
        s.tint = CardTint::Accent;
        s.tintOpacity = f.isTopResult ? 0.06 : 0.035;
    } else if (f.isHovering) {
        s.tint = CardTint::Hover;
        s.tintOpacity = 0.022;
    }

    if (f.isMultiSelected) {
        s.border = CardBorder::MultiSelected;
        s.borderOpacity = 0.98;
        s.borderWidth = 2.2;
    } else if (f.isSelected) {
        s.border = CardBorder::Selected;
        s.borderOpacity = 0.88;
        s.borderWidth = 1.8;
    } else {
        s.border = f.isHovering ? CardBorder::Hover : CardBorder::Resting;
        s.borderOpacity = f.isHovering ? 0.13 : 0.07;
        s.borderWidth = 1.0;
    }

    auto shadow = [&s](double opacity, double radius, double dy) {
        s.shadowOpacity = opacity;
        s.shadowRadius = radius;
        s.shadowOffsetY = dy;
    };
    if (searchingTop)
        shadow(0.28, 26, 12);
    else if (f.isSearching)
        shadow(0.09, 12, 6);
    else if (f.isSelected)
        shadow(0.11, 12, 6);
    else if (f.isHovering)
        shadow(0.1, 11, 5);
    else
        shadow(0.06, 8, 4);

    // Dimming depends only on searching, also while a capture pulse plays.
    s.opacity = (f.isSearching && !f.isTopResult) ? 0.78 : 1.0;
    auto pose = [&s](double scale, double dy) {
        s.scale = scale;
        s.offsetY = dy;
    };
    if (f.capturePulse && !f.capturePulseExpanded)
        pose(1.022, -6);
    else if (f.capturePulse)
        pose(1.005, -1);
    else if (searchingTop)
        pose(f.surfacePulse ? 1.036 : 1.028, f.surfacePulse ? -7 : -5);
    else if (f.isSearching)
        pose(f.isSelected ? 1.012 : 0.992, -1);
    else if (f.isSelected)
        pose(1.012, 0);
    else if (f.isHovering)
        pose(1.014, -4);

    const bool restingHover = !f.isSearching && f.isHovering && !f.isSelected;
    s.tilt = restingHover;
    s.hoverSheen = restingHover;
    s.multiSelectionMark = f.isMultiSelected;

    if (searchingTop) {
        s.topResultRing = true;
        s.ringStrokeOpacity = f.surfacePulse ? 0.32 : 0.14;
        s.ringWidth = f.surfacePulse ? 1.4 : 0.8;
        s.ringScale = f.surfacePulse ? 1.018 : 1.006;
        s.ringOpacity = f.surfacePulse ? 0.78 : 0.42;
    }

    if (f.isBroughtBack && !f.isSearching)
        s.badge = CardBadge::BroughtBack;
    else if (searchingTop)
        s.badge = CardBadge::Closest;
    return s;
}

CardMediaKind cardMediaKind(const VeskItem& item)
{
    if (itemHasSecureMarker(item))
        return CardMediaKind::Secure;
    if (isHTMLSourcedItem(item))
        return CardMediaKind::Web;
    if (isImageLikeItem(item) && item.filePath)
        return CardMediaKind::Picture;
    switch (item.kind) {
    case VeskKind::Text: return CardMediaKind::TextTile;
    case VeskKind::Url: return CardMediaKind::LinkTile;
    case VeskKind::Image: return CardMediaKind::Placeholder;
    case VeskKind::File: return CardMediaKind::FileTile;
    case VeskKind::Activity: return CardMediaKind::ActivityTile;
    }
    return CardMediaKind::TextTile;
}

int cardMediaHeight(const VeskItem& item)
{
    return isImageLikeItem(item) ? 113 : 78;
}

std::optional<QString> linkTileHost(const VeskItem& item)
{
    if (!item.urlString || item.urlString->isEmpty())
        return std::nullopt;
    const QUrl url(*item.urlString, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    const QString host = url.host(QUrl::FullyDecoded);
    if (host.isEmpty())
        return std::nullopt;
    return host;
}

std::optional<QString> fileTileName(const VeskItem& item)
{
    if (!item.filePath)
        return std::nullopt;
    return QFileInfo(*item.filePath).fileName();
}

QString cardKindSymbol(const VeskItem& item)
{
    if (itemHasSecureMarker(item))
        return QStringLiteral("lock.shield.fill");
    if (isHTMLSourcedItem(item))
        return QStringLiteral("globe");
    switch (item.kind) {
    case VeskKind::Text:
    case VeskKind::Url:
    case VeskKind::Image:
    case VeskKind::File:
    case VeskKind::Activity: return veskKindSymbol(item.kind);
    }
    return QStringLiteral("doc");
}

QString cardFormatLabel(const VeskItem& item)
{
    if (itemHasSecureMarker(item))
        return QStringLiteral("SECURE");
    if (isHTMLSourcedItem(item))
        return QStringLiteral("HTML");
    switch (item.kind) {
    case VeskKind::Text:
    case VeskKind::Url:
    case VeskKind::Image:
    case VeskKind::Activity: return veskKindWord(item.kind);
    case VeskKind::File: return formatBadgeText(item);
    }
    return QStringLiteral("Text");
}

CardExtract cardExtract(const VeskItem& item, bool hasRichText)
{
    if (itemHasSecureMarker(item))
        return {CardExtractKind::Secure, QStringLiteral("Protected in the system keyring")};
    if (item.kind == VeskKind::Url && item.urlString)
        return {CardExtractKind::Url, *item.urlString};
    if (item.kind == VeskKind::Text && item.text)
        return {hasRichText ? CardExtractKind::RichText : CardExtractKind::PlainText,
                graphemePrefixWithin(item.text->left(kCardExtractCharacters + 32), kCardExtractCharacters)};
    return {};
}

} // namespace vesk
