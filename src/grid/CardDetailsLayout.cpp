#include "grid/CardDetailsLayout.h"

#include "platform/Graphemes.h"

#include "grid/VeskCardPainter.h"
#include "grid/VeskCardStyle.h"
#include "model/ItemFileKinds.h"
#include "platform/ui/Theme.h"

#include <QColor>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr double kPaddingX = 12;
constexpr double kPaddingY = 9;
constexpr double kTitleGap = 6;
constexpr double kReasonGap = 3;
constexpr double kExtractGap = 4;
constexpr double kLabelGap = 4;

} // namespace

QFont cardDateFont()
{
    return Theme::font(9.2, QFont::Medium);
}

QFont cardTitleFont(const VeskCardContent& content)
{
    return Theme::font(isImageLikeItem(content.item) ? 13.8 : 14.2, QFont::Bold);
}

QFont cardReasonFont()
{
    return Theme::font(10.3, QFont::Medium);
}

QFont cardFormatLabelFont()
{
    QFont font = Theme::font(10.5, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.25);
    return font;
}

QFont cardExtractFont(CardExtractKind kind)
{
    switch (kind) {
    case CardExtractKind::Secure: return Theme::font(11.5, QFont::Medium);
    case CardExtractKind::Url: {
        QFont mono = Theme::font(11.5);
        mono.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
        mono.setStyleHint(QFont::Monospace);
        return mono;
    }
    case CardExtractKind::None:
    case CardExtractKind::RichText:
    case CardExtractKind::PlainText: break;
    }
    return Theme::font(12);
}

CardDetailsLayout layOutCardDetails(const VeskCardContent& content, bool showsReasonLine, double areaHeight,
                                    double areaWidth)
{
    CardDetailsLayout layout;
    const double width = areaWidth - 2 * kPaddingX;
    const QFontMetricsF dates(cardDateFont());
    double y = kPaddingY + std::max(14.0, dates.height() * 2 + 2) + kTitleGap;

    const double labelHeight = QFontMetricsF(cardFormatLabelFont()).height();
    const double labelTop = areaHeight - kPaddingY - labelHeight;
    const double limit = labelTop - kLabelGap;

    const QFont titleFont = cardTitleFont(content);
    const double titleLine = QFontMetricsF(titleFont).lineSpacing();
    const double reasonHeight = showsReasonLine ? kReasonGap + QFontMetricsF(cardReasonFont()).lineSpacing() : 0;
    const CardExtract extract = cardExtract(content.item, content.hasRichText);
    const QFont extractFont = cardExtractFont(extract.kind);
    const double extractLine = QFontMetricsF(extractFont).lineSpacing();
    const int extractMost = extract.kind == CardExtractKind::None ? 0 : extract.kind == CardExtractKind::Secure ? 1 : 2;
    const double firstExtractLine = extractMost > 0 ? kExtractGap + extractLine : 0;

    // The title's second line comes after the reason line and the extract's first line.
    layout.titleTop = y;
    layout.titleLines = y + 2 * titleLine + reasonHeight + firstExtractLine <= limit ? 2 : 1;
    y += cardTextLines(nullptr, {}, width, content.displayTitle, titleFont, {}, layout.titleLines);

    if (showsReasonLine) {
        layout.reasonTop = y + kReasonGap;
        y += reasonHeight;
    }

    if (extractMost > 0) {
        layout.extractTop = y + kExtractGap;
        layout.extractLines = std::clamp(int((limit - layout.extractTop) / extractLine), 0, extractMost);
        if (layout.extractLines > 0)
            y = layout.extractTop + layout.extractLines * extractLine;
    }

    // A label pushed past the card's edge would be cut in half: it gives way instead.
    const double shownLabelTop = std::max(labelTop, y + kLabelGap);
    if (shownLabelTop + labelHeight <= areaHeight)
        layout.labelTop = shownLabelTop;
    return layout;
}

namespace {

const QString kEllipsis = QStringLiteral("\u2026");

struct CardTextLine {
    QString text;
    bool ellipsis = false; // the text goes on: "…" follows this line
    double top = 0; // from the top of the first line
};

struct PlacedLines {
    QList<CardTextLine> lines; // only when asked for
    double height = 0;
};

// The longest beginning of text, in whole characters, whose own glyphs fit in width, without the
// white space it would end in.
QString beginningWithin(const QString& text, const QFont& font, double width)
{
    if (width <= 0)
        return {};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return {};
    }
    line.setLineWidth(width);
    QString kept = text.left(line.textLength());
    layout.endLayout();
    const QFontMetricsF metrics(font);
    const auto joinsNext = [](QChar c) {
        return c.joiningType() == QChar::Joining_Dual || c.joiningType() == QChar::Joining_Causing;
    };
    const auto joinsPrevious = [](QChar c) {
        return c.joiningType() == QChar::Joining_Dual || c.joiningType() == QChar::Joining_Right
               || c.joiningType() == QChar::Joining_Causing;
    };
    // Measured as drawn, alone: a letter of a joining script cut from the one after it would take
    // its final form, wider than in the line, unless a zero-width joiner keeps it joined.
    while (!kept.isEmpty()) {
        QString shown = kept.trimmed();
        if (!shown.isEmpty() && kept.size() < text.size() && joinsNext(shown.back()) && joinsPrevious(text.at(kept.size())))
            shown += QChar(0x200D);
        if (shown.isEmpty() || metrics.horizontalAdvance(shown) <= width)
            return shown;
        kept.truncate(graphemeBoundaryAtOrBefore(kept, kept.size() - 1));
    }
    return {};
}

PlacedLines placeCardTextLines(double width, const QString& text, const QFont& font, int maxLines,
                               QTextOption::WrapMode wrap, bool wantTexts)
{
    PlacedLines result;
    if (text.isEmpty() || width <= 0 || maxLines <= 0)
        return result;
    // At most a few short lines show: shaping more of a note's text than they can hold is most of
    // what a card's text would cost. A first guess takes as many characters as the width holds of
    // the narrowest Latin ones; where the text's own glyphs hold more to a line (marks that take
    // no room, clusters of several characters), it takes more until the lines are full.
    const QFontMetricsF metrics(font);
    double narrowest = width;
    for (const QChar c : u" .,:;'!|ijlI1")
        narrowest = std::min(narrowest, metrics.horizontalAdvance(c));
    const qsizetype perLine = qsizetype(std::ceil(width / std::max(1.0, narrowest))) + 1;

    struct Placed {
        int start;
        int length;
        double y;
    };
    QVarLengthArray<Placed, 4> placed;
    QString flat;
    bool cut = false;
    for (qsizetype take = perLine * maxLines;; take *= 2) {
        // Cut between whole characters: half an emoji at the end would be drawn as a replacement mark.
        flat = graphemePrefixWithin(text, take);
        cut = flat.size() < text.size();
        flat.replace(QLatin1Char('\n'), QChar::LineSeparator);
        QTextLayout layout(flat, font);
        QTextOption option;
        option.setWrapMode(wrap);
        layout.setTextOption(option);
        layout.beginLayout();
        placed.clear();
        double y = 0;
        bool more = false;
        while (true) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            if (placed.size() == maxLines) {
                more = true;
                break;
            }
            line.setLineWidth(width);
            placed.append({line.textStart(), line.textLength(), y});
            y += metrics.lineSpacing();
        }
        layout.endLayout();
        result.height = y;
        // Everything taken fits in the lines, and the text goes on: there may be room for more.
        if (!cut || more)
            break;
    }
    if (!wantTexts)
        return result;

    const double ellipsisWidth = metrics.horizontalAdvance(kEllipsis);
    for (qsizetype i = 0; i < placed.size(); ++i) {
        const Placed& p = placed[i];
        const bool last = i == placed.size() - 1;
        QString piece = flat.mid(p.start, last ? -1 : p.length);
        piece.replace(QChar::LineSeparator, QLatin1Char(' '));
        CardTextLine shown{piece.trimmed(), false, p.y};
        // The text goes on past the last line: it ends in "…", measured apart from the text, whose
        // own glyphs say how much of it fits before it.
        if (last && (cut || metrics.horizontalAdvance(shown.text) > width)) {
            shown.text = beginningWithin(shown.text, font, width - ellipsisWidth);
            shown.ellipsis = true;
        }
        result.lines.append(shown);
    }
    return result;
}

} // namespace

double cardTextLines(QPainter* painter, const QPointF& origin, double width, const QString& text, const QFont& font,
                     const QColor& color, int maxLines, QTextOption::WrapMode wrap)
{
    const PlacedLines placed = placeCardTextLines(width, text, font, maxLines, wrap, painter != nullptr);
    if (!painter)
        return placed.height;
    const QFontMetricsF metrics(font);
    painter->save();
    painter->setFont(font);
    painter->setPen(color);
    for (const CardTextLine& line : placed.lines) {
        const QPointF baseline(origin.x(), origin.y() + line.top + metrics.ascent());
        painter->drawText(baseline, line.text);
        // Drawn on its own: inside the text's run it would take that script's font, and a script
        // without one draws the whole run, "…" too, as missing-glyph boxes.
        if (line.ellipsis)
            painter->drawText(baseline + QPointF(metrics.horizontalAdvance(line.text), 0), kEllipsis);
    }
    painter->restore();
    return placed.height;
}

} // namespace vesk
