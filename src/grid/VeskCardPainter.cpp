#include "grid/VeskCardPainter.h"

#include "grid/CardBodyLayer.h"
#include "grid/CardDetailsLayout.h"

#include "model/ItemFileKinds.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <cmath>
#include <optional>

namespace vesk {

namespace {

constexpr double kPulseRed = 0.24, kPulseGreen = 0.68, kPulseBlue = 1.0;

QColor pulseColor(double opacity)
{
    return Theme::rgb(kPulseRed, kPulseGreen, kPulseBlue, std::clamp(opacity, 0.0, 1.0));
}

QFont trackedFont(double points, QFont::Weight weight, double tracking)
{
    QFont font = Theme::font(points, weight);
    if (tracking != 0.0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

double drawLines(QPainter& painter, const QPointF& origin, double width, const QString& text, const QFont& font,
                 const QColor& color, int maxLines)
{
    return cardTextLines(&painter, origin, width, text, font, color, maxLines);
}

void drawSymbol(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color, double points)
{
    IconMap::paint(painter, rect, name, color, points);
}

void fillGradient(QPainter& painter, const QRectF& area, QPointF from, QPointF to, const QList<QColor>& colors)
{
    QLinearGradient gradient(from, to);
    const int count = int(colors.size());
    int i = 0;
    for (const QColor& c : colors)
        gradient.setColorAt(count == 1 ? 0.0 : double(i++) / (count - 1), c);
    painter.fillRect(area, gradient);
}

void paintPicture(QPainter& painter, const QRectF& area, const VeskCardContent& content, const Theme& theme, bool gradient)
{
    painter.fillRect(area, theme.primary(0.035));
    if (!content.thumbnail.isNull()) {
        // Fill the area and crop the overflow, never letterbox.
        const QSizeF source = content.thumbnail.deviceIndependentSize();
        const double scale = std::max(area.width() / source.width(), area.height() / source.height());
        const QSizeF drawn = source * scale;
        const QRectF target(area.center().x() - drawn.width() / 2, area.center().y() - drawn.height() / 2,
                            drawn.width(), drawn.height());
        painter.save();
        painter.setClipRect(area, Qt::IntersectClip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, content.thumbnail, QRectF(QPointF(0, 0), content.thumbnail.size()));
        painter.restore();
    } else if (content.previewUnavailable) {
        const QFont caption = Theme::font(TextStyle::Caption2);
        const QFontMetricsF metrics(caption);
        const double top = area.center().y() - (30 + 6 + metrics.height()) / 2;
        drawSymbol(painter, QRectF(area.center().x() - 15, top, 30, 30), QStringLiteral("photo"), theme.secondary(), 28);
        painter.setFont(caption);
        painter.setPen(theme.tertiary());
        painter.drawText(QRectF(area.left(), top + 36, area.width(), metrics.height()), Qt::AlignCenter,
                         QStringLiteral("Preview unavailable"));
    } else {
        drawSymbol(painter, area, QStringLiteral("photo"), theme.secondary(), 28);
    }
    if (gradient) {
        const QRectF band(area.left(), area.bottom() - 48, area.width(), 48);
        fillGradient(painter, band, band.topLeft(), band.bottomLeft(), {Theme::black(0), Theme::black(0.18)});
    }
}

struct BadgeTile {
    QList<QColor> gradient;
    bool circle = false;
    double iconSide = 46;
    double iconRadius = 12;
    QString symbol;
    double symbolPoints = 21;
    QString label;
    double labelPoints = 10;
    QFont::Weight labelWeight = QFont::Black;
    double labelTracking = 1.1;
    QColor labelColor;
    std::optional<QString> caption;
    QFont captionFont;
    QColor captionColor;
    bool trailingArrow = false;
};

QString badgeText(bool broughtBack)
{
    return broughtBack ? QStringLiteral("Brought Back") : QStringLiteral("Closest");
}

QFont badgeFont()
{
    return Theme::font(Theme::pointSize(TextStyle::Caption2), QFont::DemiBold);
}

// The capsule of a card's Brought Back or Closest badge, at the card's top trailing corner.
QRectF badgeCapsule(const QRectF& card, bool broughtBack)
{
    const QFontMetricsF metrics(badgeFont());
    const double symbolSide = metrics.height();
    const double width = 9 + symbolSide + 5 + metrics.horizontalAdvance(badgeText(broughtBack)) + 9;
    const double height = 5 + metrics.height() + 5;
    return QRectF(card.right() - 8 - width, card.top() + 8, width, height);
}

void paintBadgeTile(QPainter& painter, const QRectF& area, const BadgeTile& tile, const Theme& theme)
{
    fillGradient(painter, area, area.topLeft(), area.bottomRight(), tile.gradient);
    double x = area.left() + 14;
    const double right = area.right() - 14;
    const QRectF icon(x, area.center().y() - tile.iconSide / 2, tile.iconSide, tile.iconSide);
    const QPainterPath shape = tile.circle ? Painting::capsule(icon) : Painting::roundedRect(icon, tile.iconRadius);
    painter.fillPath(shape, theme.material(MaterialThickness::Thin));
    drawSymbol(painter, icon, tile.symbol, theme.secondary(), tile.symbolPoints);
    x = icon.right() + 12;

    double textRight = right;
    if (tile.trailingArrow) {
        const QRectF arrow(right - 14, area.center().y() - 7, 14, 14);
        drawSymbol(painter, arrow, QStringLiteral("arrow.up.right"), theme.tertiary(), 12);
        textRight = arrow.left() - 6;
    }
    const QFont labelFont = trackedFont(tile.labelPoints, tile.labelWeight, tile.labelTracking);
    const QFontMetricsF labelMetrics(labelFont);
    const QFontMetricsF captionMetrics(tile.captionFont);
    const double height = labelMetrics.height() + (tile.caption ? 3 + captionMetrics.height() : 0);
    double y = area.center().y() - height / 2;
    double width = std::max(0.0, textRight - x);
    // The media area's top is the card's: a badge may come over its trailing corner. A label that
    // would run under it goes down below it, or, where the tile has no room for that, stops short.
    // Whether a badge shows or not, the tile stays the same, so nothing moves when one comes.
    const QRectF badges = badgeCapsule(area, true).united(badgeCapsule(area, false));
    const QRectF labelBox(x, y, labelMetrics.horizontalAdvance(tile.label), labelMetrics.height());
    if (labelBox.intersects(badges)) {
        const double below = badges.bottom() + 2;
        if (below + height <= area.bottom() - 4)
            y = below;
        else
            width = std::max(0.0, std::min(width, badges.left() - 6 - x));
    }
    drawLines(painter, QPointF(x, y), width, tile.label, labelFont, tile.labelColor, 1);
    width = std::max(0.0, textRight - x);
    if (tile.caption) {
        y += labelMetrics.height() + 3;
        drawLines(painter, QPointF(x, y), width, *tile.caption, tile.captionFont, tile.captionColor, 1);
    }
}

void paintWebTile(QPainter& painter, const QRectF& area, const Theme& theme)
{
    fillGradient(painter, area, area.topLeft(), area.bottomRight(), {theme.accent(0.1), theme.primary(0.025)});
    const double dotsY = area.top() + 9;
    const double dotOpacity[] = {0.18, 0.12, 0.08};
    for (int i = 0; i < 3; ++i) {
        const QRectF dot(area.left() + 12 + i * 10, dotsY, 5, 5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme.primary(dotOpacity[i]));
        painter.drawEllipse(dot);
    }
    const double middle = (dotsY + 5 + area.bottom() - 9) / 2;
    QFont mono = Theme::font(17, QFont::DemiBold);
    mono.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    mono.setStyleHint(QFont::Monospace);
    const QString code = QStringLiteral("</>");
    const double codeWidth = QFontMetricsF(mono).horizontalAdvance(code);
    const double total = 22 + 7 + codeWidth;
    const double left = area.center().x() - total / 2;
    drawSymbol(painter, QRectF(left, middle - 11, 22, 22), QStringLiteral("globe"), theme.secondary(), 20);
    painter.setFont(mono);
    painter.setPen(theme.secondary());
    painter.drawText(QRectF(left + 29, middle - 12, codeWidth + 2, 24), Qt::AlignVCenter | Qt::AlignLeft, code);
}

void paintMedia(QPainter& painter, const QRectF& area, const VeskCardContent& content, const Theme& theme)
{
    const VeskItem& item = content.item;
    switch (cardMediaKind(item)) {
    case CardMediaKind::Picture: paintPicture(painter, area, content, theme, true); return;
    case CardMediaKind::Placeholder: paintPicture(painter, area, VeskCardContent{}, theme, false); return;
    case CardMediaKind::Web: paintWebTile(painter, area, theme); return;
    case CardMediaKind::TextTile: {
        fillGradient(painter, area, area.topLeft(), area.bottomLeft(), {theme.primary(0.018), theme.primary(0.055)});
        const QRectF corner(area.left() + 18, area.top() + 18, 36, 36);
        drawSymbol(painter, corner, QStringLiteral("quote.opening"), theme.tertiary(), 34);
        return;
    }
    case CardMediaKind::Secure: {
        BadgeTile tile{{theme.accent(0.12), theme.primary(0.025)}};
        tile.iconSide = 48;
        tile.iconRadius = 13;
        tile.symbol = QStringLiteral("lock.shield.fill");
        tile.symbolPoints = 22;
        tile.label = QStringLiteral("SECURE VESK");
        tile.labelPoints = 9.5;
        tile.labelTracking = 1.2;
        tile.labelColor = theme.tertiary();
        tile.caption = QStringLiteral("Keyring protected");
        tile.captionFont = Theme::font(Theme::pointSize(TextStyle::Caption), QFont::DemiBold);
        tile.captionColor = theme.secondary();
        paintBadgeTile(painter, area, tile, theme);
        return;
    }
    case CardMediaKind::ActivityTile: {
        BadgeTile tile{{theme.accent(0.13), theme.primary(0.025)}};
        tile.symbol = QStringLiteral("figure.walk.motion");
        tile.label = QStringLiteral("ACTIVITY");
        tile.labelColor = theme.secondary();
        tile.caption = QStringLiteral("Vesk Mobile");
        tile.captionFont = Theme::font(TextStyle::Caption2);
        tile.captionColor = theme.tertiary();
        paintBadgeTile(painter, area, tile, theme);
        return;
    }
    case CardMediaKind::FileTile: {
        BadgeTile tile{{theme.primary(0.018), theme.primary(0.055)}};
        tile.symbol = formatBadgeSymbol(item);
        tile.label = formatBadgeText(item);
        tile.labelColor = theme.secondary();
        tile.caption = fileTileName(item);
        tile.captionFont = Theme::font(TextStyle::Caption2);
        tile.captionColor = theme.tertiary();
        paintBadgeTile(painter, area, tile, theme);
        return;
    }
    case CardMediaKind::LinkTile: {
        BadgeTile tile{{theme.accent(0.16), theme.accent(0.055), theme.primary(0.018)}};
        tile.circle = true;
        tile.iconSide = 42;
        tile.symbol = QStringLiteral("link");
        tile.symbolPoints = 19;
        tile.label = QStringLiteral("LINK");
        tile.labelPoints = 9;
        tile.labelWeight = QFont::Bold;
        tile.labelTracking = 1.4;
        tile.labelColor = theme.tertiary();
        tile.caption = linkTileHost(item);
        tile.captionFont = Theme::font(Theme::pointSize(TextStyle::Caption), QFont::DemiBold);
        tile.captionColor = theme.secondary();
        tile.trailingArrow = true;
        paintBadgeTile(painter, area, tile, theme);
        return;
    }
    }
}

void paintDetails(QPainter& painter, const QRectF& area, const VeskCardContent& content, const CardLook& look,
                  const Theme& theme)
{
    const VeskItem& item = content.item;
    const double left = area.left() + 12;
    const double width = area.width() - 24;
    const double top = area.top();
    const double y = top + 9;
    const bool showsReasonLine = content.retrievalHint && look[CardLook::ReasonLine] > 0.01;
    const CardDetailsLayout layout = layOutCardDetails(content, showsReasonLine, area.height(), area.width());

    // Header: kind symbol and the two date lines, trailing.
    const QFont dateFont = cardDateFont();
    const QFontMetricsF dateMetrics(dateFont);
    drawSymbol(painter, QRectF(left, y, 14, 14), cardKindSymbol(item), theme.secondary(), 12);
    painter.setFont(dateFont);
    painter.setPen(theme.tertiary());
    const double dateWidth = width - 20;
    const double right = left + width;
    // Right-aligned, cut only when too long: a line that fits is measured once, not elided first.
    auto drawDateLine = [&](const QString& line, double baseline) {
        double advance = dateMetrics.horizontalAdvance(line);
        QString shown = line;
        if (advance > dateWidth) {
            shown = dateMetrics.elidedText(line, Qt::ElideRight, dateWidth);
            advance = dateMetrics.horizontalAdvance(shown);
        }
        painter.drawText(QPointF(right - advance, baseline), shown);
    };
    drawDateLine(content.dates.importedLine, y + dateMetrics.ascent());
    drawDateLine(content.dates.createdLine, y + dateMetrics.height() + 2 + dateMetrics.ascent());

    drawLines(painter, QPointF(left, top + layout.titleTop), width, content.displayTitle, cardTitleFont(content),
              theme.label(), layout.titleLines);

    if (layout.reasonTop) {
        const QColor hint = theme.accent((content.isTopResult ? 0.82 : 0.66) * look[CardLook::ReasonLine]);
        drawLines(painter, QPointF(left, top + *layout.reasonTop), width, *content.retrievalHint, cardReasonFont(),
                  hint, 1);
    }

    const CardExtract extract = cardExtract(item, content.hasRichText);
    const QFont extractFont = cardExtractFont(extract.kind);
    const double extractTop = top + layout.extractTop;
    if (layout.extractLines > 0) {
        switch (extract.kind) {
        case CardExtractKind::None: break;
        case CardExtractKind::Secure: {
            const double lineHeight = QFontMetricsF(extractFont).height();
            drawSymbol(painter, QRectF(left, extractTop, lineHeight, lineHeight), QStringLiteral("key.fill"),
                       theme.secondary(), 11.5);
            drawLines(painter, QPointF(left + lineHeight + 5, extractTop), width - lineHeight - 5, extract.text,
                      extractFont, theme.secondary(), 1);
            break;
        }
        case CardExtractKind::Url:
            cardTextLines(&painter, QPointF(left, extractTop), width, extract.text, extractFont, theme.secondary(),
                          layout.extractLines, QTextOption::WrapAnywhere);
            break;
        // Every note shows the same quiet snippet under its title, whatever sizes its body uses:
        // the start of its text, smaller than the title, ending in "…" where it is cut.
        case CardExtractKind::RichText:
        case CardExtractKind::PlainText:
            drawLines(painter, QPointF(left, extractTop), width, extract.text, extractFont, theme.secondary(),
                      layout.extractLines);
            break;
        }
    }

    if (layout.labelTop) {
        const QFont labelFont = cardFormatLabelFont();
        const QFontMetricsF labelMetrics(labelFont);
        painter.setFont(labelFont);
        painter.setPen(theme.secondary());
        painter.drawText(QPointF(left, top + *layout.labelTop + labelMetrics.ascent()),
                         labelMetrics.elidedText(cardFormatLabel(item), Qt::ElideRight, width));
    }
}

void paintBadge(QPainter& painter, const QRectF& card, bool broughtBack, double presence, const Theme& theme)
{
    if (presence <= 0.01)
        return;
    const QString symbol = broughtBack ? QStringLiteral("arrow.uturn.backward") : QStringLiteral("sparkles");
    const QString text = badgeText(broughtBack);
    const QFont font = badgeFont();
    const QFontMetricsF metrics(font);
    const double symbolSide = metrics.height();
    const QRectF capsuleRect = badgeCapsule(card, broughtBack);

    painter.save();
    painter.setOpacity(painter.opacity() * presence);
    painter.translate(capsuleRect.center());
    painter.scale(presence, presence);
    painter.translate(-capsuleRect.center());
    const QPainterPath shape = Painting::capsule(capsuleRect);
    painter.fillPath(shape, theme.material(MaterialThickness::Thick));
    const QColor color = broughtBack ? theme.accent() : theme.secondary();
    if (broughtBack)
        Painting::stroke(painter, shape, theme.accent(0.16), 0.8);
    drawSymbol(painter, QRectF(capsuleRect.left() + 9, capsuleRect.top() + 5, symbolSide, symbolSide), symbol, color,
               Theme::pointSize(TextStyle::Caption2));
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QPointF(capsuleRect.left() + 9 + symbolSide + 5, capsuleRect.top() + 5 + metrics.ascent()), text);
    painter.restore();
}

} // namespace

CardLook CardLook::from(const VeskCardStyle& s, const VeskCardFlags& flags, bool hasReasonLine)
{
    CardLook look;
    look[Scale] = s.scale;
    look[OffsetY] = s.offsetY;
    look[Opacity] = s.opacity;
    look[ShadowOpacity] = s.shadowOpacity;
    look[ShadowRadius] = s.shadowRadius;
    look[ShadowOffsetY] = s.shadowOffsetY;
    look[AccentTint] = s.tint == CardTint::Accent ? s.tintOpacity : 0.0;
    look[HoverTint] = s.tint == CardTint::Hover ? s.tintOpacity : 0.0;
    const bool accentBorder = s.border == CardBorder::Selected || s.border == CardBorder::MultiSelected;
    look[BorderAccent] = accentBorder ? s.borderOpacity : 0.0;
    look[BorderPrimary] = accentBorder ? 0.0 : s.borderOpacity;
    look[BorderWidth] = s.borderWidth;
    look[Tilt] = s.tilt ? 1.0 : 0.0;
    look[HoverSheen] = s.hoverSheen ? 1.0 : 0.0;
    look[MultiMark] = s.multiSelectionMark ? 1.0 : 0.0;
    look[Ring] = s.topResultRing ? 1.0 : 0.0;
    look[RingStroke] = s.topResultRing ? s.ringStrokeOpacity : 0.14;
    look[RingWidth] = s.topResultRing ? s.ringWidth : 0.8;
    look[RingScale] = s.topResultRing ? s.ringScale : 1.006;
    look[RingOpacity] = s.topResultRing ? s.ringOpacity : 0.42;
    look[BroughtBackBadge] = s.badge == CardBadge::BroughtBack ? 1.0 : 0.0;
    look[ClosestBadge] = s.badge == CardBadge::Closest ? 1.0 : 0.0;
    look[ReasonLine] = (flags.isSearching && hasReasonLine) ? 1.0 : 0.0;
    look[CapturePresence] = flags.capturePulse ? 1.0 : 0.0;
    look[CaptureExpansion] = flags.capturePulseExpanded ? 1.0 : 0.0;
    return look;
}

CardLook CardLook::mix(const CardLook& from, const CardLook& to, double progress)
{
    CardLook out;
    for (size_t i = 0; i < size_t(Count); ++i)
        out.v[i] = from.v[i] + (to.v[i] - from.v[i]) * progress;
    return out;
}

namespace {

// A card whose item is not in the library file says so in its own colour, at the top left where
// no other badge goes, and its edge takes the same colour. One whose row waits to be written
// says that it is being saved, quietly.
void paintUnsavedMark(QPainter& painter, const QRectF& card, const QPainterPath& shape, const Theme& theme,
                      bool saving = false)
{
    if (saving) {
        const QString text = QStringLiteral("Saving\u2026");
        const QFont font = Theme::font(Theme::pointSize(TextStyle::Caption2), QFont::DemiBold);
        const QFontMetricsF metrics(font);
        const QRectF capsuleRect(card.left() + 8, card.top() + 8, 9 + metrics.horizontalAdvance(text) + 9,
                                 4 + metrics.height() + 4);
        const QPainterPath capsule = Painting::capsule(capsuleRect);
        painter.fillPath(capsule, theme.material(MaterialThickness::Thick));
        Painting::stroke(painter, capsule, theme.secondary(), 0.6);
        painter.setFont(font);
        painter.setPen(theme.secondary());
        painter.drawText(QPointF(capsuleRect.left() + 9, capsuleRect.top() + 4 + metrics.ascent()), text);
        return;
    }
    painter.strokePath(shape, QPen(Theme::failure(0.75), 1.4));
    const QString text = QStringLiteral("Not saved");
    const QFont font = Theme::font(Theme::pointSize(TextStyle::Caption2), QFont::DemiBold);
    const QFontMetricsF metrics(font);
    const double symbolSide = metrics.height();
    const double width = 8 + symbolSide + 4 + metrics.horizontalAdvance(text) + 9;
    const QRectF capsuleRect(card.left() + 8, card.top() + 8, width, 4 + metrics.height() + 4);
    const QPainterPath capsule = Painting::capsule(capsuleRect);
    painter.fillPath(capsule, theme.material(MaterialThickness::Thick));
    painter.fillPath(capsule, Theme::failure(0.12));
    Painting::stroke(painter, capsule, Theme::failure(0.5), 0.8);
    drawSymbol(painter, QRectF(capsuleRect.left() + 8, capsuleRect.top() + 4, symbolSide, symbolSide),
               QStringLiteral("exclamationmark.triangle"), Theme::failure(), Theme::pointSize(TextStyle::Caption2));
    painter.setFont(font);
    painter.setPen(Theme::failure());
    painter.drawText(QPointF(capsuleRect.left() + 8 + symbolSide + 4, capsuleRect.top() + 4 + metrics.ascent()), text);
}

void paintCardContent(QPainter& painter, const QRectF& card, const VeskCardContent& content, const CardLook& look,
                      const Theme& theme)
{
    const double mediaHeight = cardMediaHeight(content.item);
    const QRectF media(card.left(), card.top(), card.width(), mediaHeight);
    paintMedia(painter, media, content, theme);
    paintDetails(painter, QRectF(card.left(), media.bottom(), card.width(), card.height() - mediaHeight), content,
                 look, theme);
}

// The background, tints and border of a card in this look.
CardBodyLayerLook edgesOf(const QRectF& card, const CardLook& look, const Theme& theme)
{
    CardBodyLayerLook edges;
    edges.card = card;
    edges.cornerRadius = kCardCornerRadius;
    edges.fill = theme.material(MaterialThickness::Regular);
    const QColor none(Qt::transparent);
    edges.accentTint = look[CardLook::AccentTint] > 0.0005 ? theme.accent(look[CardLook::AccentTint]) : none;
    edges.hoverTint = look[CardLook::HoverTint] > 0.0005 ? theme.primary(look[CardLook::HoverTint]) : none;
    edges.border = look[CardLook::BorderAccent] > look[CardLook::BorderPrimary]
        ? theme.accent(look[CardLook::BorderAccent])
        : theme.primary(look[CardLook::BorderPrimary]);
    edges.borderWidth = look[CardLook::BorderWidth];
    return edges;
}

// Background, tint, media, details and border, straight through the painter's transform and
// clipped to the curved outline: for a card drawn afresh in a pose.
void paintCardBody(QPainter& painter, const QRectF& card, const VeskCardContent& content, const CardLook& look,
                   const Theme& theme)
{
    const CardBodyLayerLook edges = edgesOf(card, look, theme);
    const QPainterPath shape = Painting::roundedRect(card, kCardCornerRadius);
    CardBodyLayer::paintBackground(painter, shape, edges);
    painter.save();
    painter.setClipPath(shape, Qt::IntersectClip);
    paintCardContent(painter, card, content, look, theme);
    painter.restore();
    painter.strokePath(shape, CardBodyLayer::borderPen(edges));
    if (content.isUnsaved || content.isSaving)
        paintUnsavedMark(painter, card, shape, theme, !content.isUnsaved);
}

} // namespace

QImage renderCardBody(const VeskCardContent& content, const CardLook& look, const QSizeF& size, qreal ratio,
                      const Theme& theme)
{
    const QRectF card(QPointF(kCardBodyMargin, kCardBodyMargin), size);
    CardBodyLayerLook layer = edgesOf(card, look, theme);
    layer.pixels = QSize(int(std::ceil((size.width() + 2 * kCardBodyMargin) * ratio)),
                         int(std::ceil((size.height() + 2 * kCardBodyMargin) * ratio)));
    layer.ratio = ratio;

    // On an image of its own the card is clipped to its rectangle and the shared edges are
    // applied afterwards, which is far cheaper than clipping every fill and glyph to the curve.
    QImage image = CardBodyLayer::canvas(layer);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setClipRect(card, Qt::IntersectClip);
        paintCardContent(painter, card, content, look, theme);
    }
    CardBodyLayer::finishEdges(image, layer);
    if (content.isUnsaved || content.isSaving) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintUnsavedMark(painter, card, Painting::roundedRect(card, kCardCornerRadius), theme, !content.isUnsaved);
    }
    return image;
}

int cachedCardShadowRadius(const CardLook& look)
{
    static constexpr int kStateRadii[] = {8, 11, 12, 26};
    const int wanted = int(std::lround(look[CardLook::ShadowRadius]));
    int nearest = kStateRadii[0];
    for (int radius : kStateRadii) {
        if (std::abs(radius - wanted) < std::abs(nearest - wanted))
            nearest = radius;
    }
    return nearest;
}

qreal cardBodyRenderRatio(const CardLook& look, qreal ratio)
{
    // The scales the card's states rest at (capture pulse, top result, selection, searching,
    // hover); a scale on its way between them would render a new body every frame.
    static constexpr double kRestingScales[] = {1.022, 1.005, 1.036, 1.028, 1.012, 0.992, 1.014};
    if (look[CardLook::Tilt] > 0.001)
        return ratio;
    const double scale = look[CardLook::Scale];
    for (double resting : kRestingScales) {
        if (std::abs(scale - resting) < 0.0002)
            return ratio * scale;
    }
    return ratio;
}

CardImages cachedCardImages(const QSizeF& size, const VeskCardContent& content, const CardLook& look,
                            const Theme& theme, CardPaintCache& cache, qreal ratio, bool untransformed)
{
    // A card resting in a scaled pose draws both at that scale; a tilted one draws its body afresh.
    const qreal bodyRatio = cardBodyRenderRatio(look, ratio);
    const qreal drawnAt = untransformed && bodyRatio != ratio ? bodyRatio : ratio;
    CardImages images;
    images.shadow = cache.shadow(size, cachedCardShadowRadius(look), drawnAt);
    if (look[CardLook::Tilt] <= 0.001)
        images.body = cache.body(content, look, size, drawnAt, theme);
    return images;
}

void paintVeskCard(QPainter& painter, const QRectF& cell, const VeskCardContent& content, const CardLook& look,
                   const Theme& theme, CardPaintCache* cache, const CardImages* images)
{
    const QTransform outer = painter.worldTransform();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Pose: lift, scale about the centre, and the slight hover tilt.
    const QPointF centre = cell.center();
    painter.translate(centre.x(), centre.y() + look[CardLook::OffsetY]);
    const bool tilted = look[CardLook::Tilt] > 0.001;
    if (tilted) {
        // 0.7 degrees about the axis (1, -0.65, 0), split onto the two screen axes.
        const double angle = 0.7 * look[CardLook::Tilt];
        const double length = std::sqrt(1.0 + 0.65 * 0.65);
        QTransform tilt;
        tilt.rotate(angle / length, Qt::XAxis);
        tilt.rotate(-angle * 0.65 / length, Qt::YAxis);
        painter.setTransform(tilt, true);
    }
    painter.scale(look[CardLook::Scale], look[CardLook::Scale]);
    // Cached bodies are drawn resampled only while the card is posed; at rest they are blitted.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, tilted || std::abs(look[CardLook::Scale] - 1.0) > 0.0005);
    const QRectF card(-cell.width() / 2, -cell.height() / 2, cell.width(), cell.height());
    const double baseOpacity = painter.opacity() * look[CardLook::Opacity];
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    std::optional<CardImages> taken;
    if (cache && !images) {
        taken = cachedCardImages(cell.size(), content, look, theme, *cache, ratio,
                                 outer.type() <= QTransform::TxTranslate);
        images = &*taken;
    }

    // Shadow: one blurred silhouette per size and blur radius, faded by painter opacity. Blurring
    // costs milliseconds, so a radius on its way between two states takes the nearer of the
    // radii the states use, and only those few are ever made.
    const int shadowRadius = images ? cachedCardShadowRadius(look) : int(std::lround(look[CardLook::ShadowRadius]));
    const qreal bodyRatio = cardBodyRenderRatio(look, ratio);
    // A card resting in a scaled pose has its shadow and body rendered at that scale, and blits
    // them pixel for pixel at whole-pixel positions instead of resampling them every frame.
    const bool restingScaled = images && bodyRatio != ratio && outer.type() <= QTransform::TxTranslate;
    auto blitScaled = [&](const QImage& image, const QPointF& topLeft) {
        const double scale = look[CardLook::Scale];
        const QPointF origin = outer.map(QPointF(centre.x(), centre.y() + look[CardLook::OffsetY]) + topLeft * scale);
        const QPointF snapped(std::round(origin.x() * ratio) / ratio, std::round(origin.y() * ratio) / ratio);
        painter.save();
        painter.setWorldTransform(QTransform());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRectF(snapped, QSizeF(image.width() / ratio, image.height() / ratio)), image,
                          QRectF(image.rect()));
        painter.restore();
    };
    // A card on its way between poses is drawn resampled, a band of rows at a time.
    auto drawScaled = [&](const QImage& image, const QPointF& topLeft) {
        Painting::drawInRowBands(painter, QRectF(topLeft, image.deviceIndependentSize()),
                                 [&](QPainter& p) { p.drawImage(topLeft, image); });
    };
    painter.setOpacity(baseOpacity * look[CardLook::ShadowOpacity]);
    if (images) {
        const double margin = CardPaintCache::shadowMargin(shadowRadius);
        const QPointF topLeft = card.topLeft() + QPointF(-margin, look[CardLook::ShadowOffsetY] - margin);
        if (restingScaled)
            blitScaled(images->shadow, topLeft);
        else
            drawScaled(images->shadow, topLeft);
    } else {
        Painting::drawSoftShadow(painter, Painting::roundedRect(card, kCardCornerRadius), Theme::black(1.0),
                                 shadowRadius, QPointF(0, look[CardLook::ShadowOffsetY]));
    }
    painter.setOpacity(baseOpacity);

    if (restingScaled) {
        blitScaled(images->body, card.topLeft() - QPointF(kCardBodyMargin, kCardBodyMargin));
    } else if (images && !tilted) {
        drawScaled(images->body, card.topLeft() - QPointF(kCardBodyMargin, kCardBodyMargin));
    } else {
        // A tilted card (the one under the pointer) is drawn afresh through its pose, so its text
        // is laid out at the size it shows instead of being a resampled picture of itself.
        paintCardBody(painter, card, content, look, theme);
    }
    const QPainterPath shape = Painting::roundedRect(card, kCardCornerRadius);

    // Hover sheen.
    if (look[CardLook::HoverSheen] > 0.01) {
        QLinearGradient sheen(card.topLeft(), card.bottomRight());
        sheen.setColorAt(0, Theme::white(0.045 * look[CardLook::HoverSheen]));
        sheen.setColorAt(0.5, Theme::white(0));
        sheen.setColorAt(1, theme.accent(0.025 * look[CardLook::HoverSheen]));
        painter.fillPath(shape, sheen);
    }

    // Multi-selection mark.
    if (look[CardLook::MultiMark] > 0.01) {
        const double presence = look[CardLook::MultiMark];
        const QRectF mark(card.left() + 8, card.top() + 8, 24, 24);
        painter.save();
        painter.translate(mark.center());
        painter.scale(presence, presence);
        painter.translate(-mark.center());
        painter.setOpacity(baseOpacity * presence);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme.material(MaterialThickness::UltraThick));
        painter.drawEllipse(mark);
        IconMap::paint(painter, mark, QStringLiteral("checkmark.circle.fill"), theme.accent(), 18);
        painter.restore();
    }

    // Top-result ring.
    if (look[CardLook::Ring] > 0.01) {
        painter.save();
        const double ringScale = look[CardLook::RingScale];
        painter.scale(ringScale, ringScale);
        painter.setOpacity(baseOpacity * look[CardLook::RingOpacity] * look[CardLook::Ring]);
        QPen pen(theme.accent(look[CardLook::RingStroke]), look[CardLook::RingWidth]);
        pen.setMiterLimit(10);
        painter.strokePath(Painting::roundedRect(card, 16), pen);
        painter.restore();
    }

    // Capture pulse: fill and two rings that grow and fade as the pulse expands.
    if (look[CardLook::CapturePresence] > 0.01) {
        const double e = std::clamp(look[CardLook::CaptureExpansion], 0.0, 1.0);
        auto lerp = [e](double a, double b) { return a + (b - a) * e; };
        const QPainterPath pulse = Painting::roundedRect(card, 16);
        painter.fillPath(pulse, pulseColor(lerp(0.105, 0)));
        struct Ring {
            double alpha, width, scale, glowAlpha, glowRadius;
        };
        const Ring rings[] = {
            {lerp(0.7, 0), lerp(1.8, 0.8), lerp(0.987, 1.05), lerp(0.28, 0), lerp(5, 14)},
            {lerp(0.26, 0), 0.9, lerp(1.008, 1.085), lerp(0.12, 0), lerp(7, 16)},
        };
        for (const Ring& ring : rings) {
            if (ring.alpha <= 0.003)
                continue;
            painter.save();
            painter.scale(ring.scale, ring.scale);
            QPen glow(pulseColor(ring.glowAlpha), ring.width + ring.glowRadius * 0.5);
            painter.strokePath(pulse, glow);
            painter.strokePath(pulse, QPen(pulseColor(ring.alpha), ring.width));
            painter.restore();
        }
    }

    paintBadge(painter, card, true, look[CardLook::BroughtBackBadge], theme);
    paintBadge(painter, card, false, look[CardLook::ClosestBadge], theme);
    painter.restore();
}

} // namespace vesk
