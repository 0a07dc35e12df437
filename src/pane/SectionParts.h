#pragma once
// The small pieces every preview section is built from, so all sections share one look.

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace vesk {

struct PreviewSectionContext;

class WrappingText;

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent);
// A label whose text wraps at its column's width, inside a word too long for a line as well, so
// that no text a package or a file name brings widens the pane; after maxLines lines (when not
// 0) it ends in "…". It cannot be selected.
WrappingText* makeWrappedLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent,
    int maxLines = 0);
QPushButton* makeButton(const QString& text, const std::function<void()>& action, QWidget* parent);
// A thin horizontal line in the separator colour.
QWidget* makeDivider(QWidget* parent);
// A top-aligned column without margins: boxes take the full width, buttons sit leading.
QVBoxLayout* makeColumn(QWidget* widget, int spacing);
// Tells the layouts from widget's up to upTo's parent at once that widget's size changed: a
// size that changes deep inside a shown pane otherwise climbs one layout per turn of the event
// loop, and the pane paints the turns between with its parts out of place.
void relayoutUpTo(QWidget* widget, QWidget* upTo);
// A button that opens the file at `path` in its default application.
QPushButton* addOpenButton(QVBoxLayout* column, const QString& title, const QString& path,
    const PreviewSectionContext& context, QWidget* parent);

} // namespace vesk
