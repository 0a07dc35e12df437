#pragma once
// Small pieces shared by the image editor and the markup sheet: text in the design's styles,
// bordered and prominent buttons, section columns, dividers and the kit's busy spinner.

#include "platform/ui/BusyIndicator.h"
#include "platform/ui/Theme.h"

#include <QPushButton>
#include <QString>
#include <QWidget>

class QLabel;
class QFrame;
class QVBoxLayout;

namespace vesk {

// A label in a text style, optionally in the secondary colour and another weight.
QLabel* styledLabel(const QString& text, TextStyle style, QWidget* parent, bool secondary = false,
                    std::optional<QFont::Weight> weight = std::nullopt);

// The title block of a sheet's header: a bold title-2 line over a secondary caption.
QWidget* sheetTitleBlock(const QString& title, const QString& caption, QWidget* parent);

// A bordered button with an optional symbol; `prominent` fills it with the accent colour.
QPushButton* borderedButton(const QString& text, const QString& symbol, QWidget* parent, bool prominent = false);

// A column of the controls sidebar: its name in the headline font, then `spacing` between rows.
QVBoxLayout* addSection(QVBoxLayout* column, const QString& name, QWidget* parent, int spacing = 10);

QFrame* horizontalDivider(QWidget* parent);
QFrame* verticalDivider(QWidget* parent);

// Lays out an editor sheet: the header, a divider, then the work area of the canvas (taking all
// the room left), a divider and the sidebar in a vertically scrolling column of `sidebarWidth`.
void layOutEditorSheet(QWidget* sheet, QWidget* header, QWidget* canvas, QWidget* sidebar, int sidebarWidth);

} // namespace vesk
