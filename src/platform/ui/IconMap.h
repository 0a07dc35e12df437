#pragma once
// The design names its symbols with the original platform's symbol names ("pin.fill",
// "xmark.circle.fill", ...). IconMap maps each onto a glyph of the Material Icons font so that no
// widget hard-codes an icon file. Part of the UI kit in src/platform/ui/ (see Theme.h).
//
// Use:
//   button->setIcon(vesk::IconMap::icon("plus", theme.label(), 16));
//   vesk::IconMap::paint(painter, rect, "pin.fill", theme.secondary(), 42, 18 /* degrees */);
// An unknown name draws a question-mark glyph and is logged once, so a typo is visible, not silent.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <optional>

class QPainter;

namespace vesk {

class IconMap {
public:
    // Loads the Material Icons font once (QFontDatabase::addApplicationFont); true when it is usable.
    static bool ensureFontLoaded();
    // The font family name, empty when the font is not installed.
    static QString fontFamily();
    // The icon font at a size in design points.
    static QFont font(qreal points);

    // Design symbol name -> Material icon name / codepoint; none for a name the map does not know.
    static std::optional<QString> materialName(const QString& symbolName);
    static std::optional<char32_t> codepoint(const QString& symbolName);
    // The glyph as text for the icon font; the fallback glyph for unknown names.
    static QString glyph(const QString& symbolName);
    // Every design name the map knows, in table order.
    static QStringList knownSymbols();

    // Draws the symbol centred in rect at a size in points, optionally rotated about its centre.
    static void paint(QPainter& painter, const QRectF& rect, const QString& symbolName, const QColor& color,
                      qreal points, qreal rotationDegrees = 0.0);
    // A square pixmap of side `size` logical pixels at the given device pixel ratio.
    static QPixmap pixmap(const QString& symbolName, const QColor& color, int size, qreal devicePixelRatio = 1.0);
    // An icon with the given colour for its normal state and a faded one for the disabled state.
    static QIcon icon(const QString& symbolName, const QColor& color, int size = 16);
};

} // namespace vesk
