#pragma once

#include "model/VeskItem.h"

#include <QString>
#include <optional>

namespace vesk {

// What the grid tells a card about its item; the two view states (hover and the phase of the
// capture pulse) come last.
struct VeskCardFlags {
    bool isSelected = false;
    bool isMultiSelected = false;
    bool isSearching = false;
    bool isTopResult = false;
    bool surfacePulse = false;
    bool capturePulse = false;
    bool isBroughtBack = false;
    bool isHovering = false;
    bool capturePulseExpanded = false;
};

enum class CardBadge { None, BroughtBack, Closest };
enum class CardTint { None, Accent, Hover };
enum class CardBorder { Resting, Hover, Selected, MultiSelected };

// The look of a card in one state: the targets its animations move towards.
struct VeskCardStyle {
    double scale = 1.0;
    double offsetY = 0.0;
    double opacity = 1.0;
    double shadowOpacity = 0.06;
    double shadowRadius = 8.0;
    double shadowOffsetY = 4.0;
    CardTint tint = CardTint::None;
    double tintOpacity = 0.0;
    CardBorder border = CardBorder::Resting;
    double borderOpacity = 0.07;
    double borderWidth = 1.0;
    bool tilt = false;
    bool hoverSheen = false;
    bool multiSelectionMark = false;
    bool topResultRing = false;
    // The ring's look follows the surface pulse.
    double ringOpacity = 0.0;
    double ringStrokeOpacity = 0.0;
    double ringWidth = 0.0;
    double ringScale = 1.0;
    CardBadge badge = CardBadge::None;
};

VeskCardStyle cardStyleFor(const VeskCardFlags& flags);

// The top part of a card, first matching rule.
enum class CardMediaKind { Secure, Web, Picture, Placeholder, TextTile, LinkTile, FileTile, ActivityTile };
CardMediaKind cardMediaKind(const VeskItem& item);
// Media height: 113 for image-like items, 78 otherwise.
int cardMediaHeight(const VeskItem& item);

// The host of a link's text; none when it does not parse as a URL or has no host.
std::optional<QString> linkTileHost(const VeskItem& item);
// The managed file's name; none without a path.
std::optional<QString> fileTileName(const VeskItem& item);

// Symbol in the details header.
QString cardKindSymbol(const VeskItem& item);
// Label at the bottom of the details.
QString cardFormatLabel(const VeskItem& item);

enum class CardExtractKind { None, Secure, Url, RichText, PlainText };
// A card shows a few short lines of a note: only this much of its start is decoded to draw them,
// however long the note.
inline constexpr qsizetype kCardExtractCharacters = 1000;
struct CardExtract {
    CardExtractKind kind = CardExtractKind::None;
    QString text;
};
// Never carries a secure item's text.
CardExtract cardExtract(const VeskItem& item, bool hasRichText);

// Card size and grid geometry.
inline constexpr int kCardHeight = 188;
inline constexpr int kCardCornerRadius = 15;
inline constexpr int kCardThumbnailDimension = 520;

} // namespace vesk
