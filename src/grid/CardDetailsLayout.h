#pragma once
// Where the lines of a card's details area go. A card has a fixed height, and a picture's media
// leaves little of it: the lines give way in a fixed order so that the title's first line and,
// while searching, the reason line always show.

#include "grid/VeskCardStyle.h"

#include <QFont>
#include <QPointF>
#include <QTextOption>
#include <optional>

class QColor;
class QPainter;

namespace vesk {

struct VeskCardContent;

struct CardDetailsLayout {
    // Tops are measured from the top of the details area.
    double titleTop = 0;
    int titleLines = 1; // the most the title may take
    std::optional<double> reasonTop; // none: no reason line
    double extractTop = 0;
    int extractLines = 0; // the most the extract may take; 0 shows none
    std::optional<double> labelTop; // none: the format label gives way
};

// The order in which lines give way when the area is short: the extract, then the title's second
// line, then the format label; never the title's first line nor the reason line.
CardDetailsLayout layOutCardDetails(const VeskCardContent& content, bool showsReasonLine, double areaHeight,
                                    double areaWidth);

QFont cardDateFont();
QFont cardTitleFont(const VeskCardContent& content);
QFont cardReasonFont();
QFont cardFormatLabelFont();
QFont cardExtractFont(CardExtractKind kind);

// Lays text out in at most maxLines lines of the given width, eliding the last; returns the
// height used. Draws when painter is given, and only measures otherwise.
double cardTextLines(QPainter* painter, const QPointF& origin, double width, const QString& text, const QFont& font,
                     const QColor& color, int maxLines,
                     QTextOption::WrapMode wrap = QTextOption::WrapAtWordBoundaryOrAnywhere);

} // namespace vesk
