#pragma once
// Pieces of the UI kit (src/platform/ui/, see Theme.h) that sheets are built from: text in the
// design's styles, a sheet's title block, bordered and prominent buttons, and dividers.

#include "platform/ui/Theme.h"

#include <QPushButton>
#include <QString>
#include <QWidget>
#include <optional>

class QLabel;
class QFrame;

namespace vesk {

// A label in a text style, optionally in the secondary colour and another weight.
QLabel* styledLabel(const QString& text, TextStyle style, QWidget* parent, bool secondary = false,
                    std::optional<QFont::Weight> weight = std::nullopt);

// The title block of a sheet's header: a bold title-2 line over a secondary caption.
QWidget* sheetTitleBlock(const QString& title, const QString& caption, QWidget* parent);

// A sheet's confirming button in the prominent style: filled with the accent colour, paler while
// disabled.
QPushButton* prominentButton(const QString& text, QWidget* parent);

// A bordered button with an optional symbol; `prominent` gives it the prominent style.
QPushButton* borderedButton(const QString& text, const QString& symbol, QWidget* parent, bool prominent = false);

QFrame* horizontalDivider(QWidget* parent);
QFrame* verticalDivider(QWidget* parent);

} // namespace vesk
