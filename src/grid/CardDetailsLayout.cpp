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

double cardTextLines(QPainter* painter, const QPointF& origin, double width, const QString& text, const QFont& font,
                     const QColor& color, int maxLines, QTextOption::WrapMode wrap)
{
    if (text.isEmpty() || width <= 0 || maxLines <= 0)
        return 0;
    // At most a few short lines show: shaping more of a note's text than they can hold is most of
    // what a card's text would cost. No line holds more characters than its width over the
    // narrowest of them.
    const QFontMetricsF metrics(font);
    double narrowest = width;
    for (const QChar c : u" .,:;'!|ijlI1")
        narrowest = std::min(narrowest, metrics.horizontalAdvance(c));
    const qsizetype perLine = qsizetype(std::ceil(width / std::max(1.0, narrowest))) + 1;
    // Cut between whole characters: half an emoji at the end would be drawn as a replacement mark.
    QString flat = graphemePrefixWithin(text, perLine * maxLines);
    const bool cut = flat.size() < text.size();
    flat.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flat, font);
    QTextOption option;
    option.setWrapMode(wrap);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    int lines = 0;
    struct Placed {
        int start;
        int length;
        double y;
    };
    QVarLengthArray<Placed, 4> placed;
    while (lines < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        placed.append({line.textStart(), line.textLength(), y});
        y += metrics.lineSpacing();
        ++lines;
    }
    layout.endLayout();
    if (!painter)
        return y;
    painter->save();
    painter->setFont(font);
    painter->setPen(color);
    for (qsizetype i = 0; i < placed.size(); ++i) {
        const Placed& p = placed[i];
        const bool last = i == placed.size() - 1;
        QString piece = flat.mid(p.start, last ? -1 : p.length);
        piece.replace(QChar::LineSeparator, QLatin1Char(' '));
        // The text went on past what was kept: the last line says so even when what was kept fits.
        if (last && cut && p.start + p.length >= flat.size())
            piece = metrics.elidedText(piece.trimmed() + QChar(0x2026), Qt::ElideRight, width);
        else if (last)
            piece = metrics.elidedText(piece.trimmed(), Qt::ElideRight, width);
        else
            piece = piece.trimmed();
        painter->drawText(QPointF(origin.x(), origin.y() + p.y + metrics.ascent()), piece);
    }
    painter->restore();
    return y;
}


} // namespace vesk
