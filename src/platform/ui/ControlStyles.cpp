#include "platform/ui/ControlStyles.h"

#include "platform/ui/Theme.h"

#include <QColor>

namespace vesk {

QString cssColor(const QColor& color)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QString applicationStyleSheet(const Theme& theme)
{
    const QString label = cssColor(theme.label());
    const QString secondary = cssColor(theme.secondary());
    const QString tertiary = cssColor(theme.tertiary());
    const QString accent = cssColor(theme.accent());
    const QString red = cssColor(theme.destructive());
    const QString fieldBackground = cssColor(theme.colors().textBackground);
    QString sheet;
    // Bordered buttons: a soft capsule of the primary colour. A disabled one keeps its text in the
    // secondary label colour: the tertiary one, on the pale capsule, could hardly be read.
    sheet += QStringLiteral(
                 "QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 7px;"
                 " padding: 4px 12px; min-height: 18px; }"
                 "QPushButton:hover { background: %4; }"
                 "QPushButton:pressed { background: %5; }"
                 "QPushButton:disabled { color: %6; background: %7; }"
                 "QPushButton:checked { background: %8; border-color: %9; }"
                 "QPushButton:flat { background: transparent; border: none; }")
                 .arg(cssColor(theme.primary(0.055)), label, cssColor(theme.primary(0.12)), cssColor(theme.primary(0.09)),
                      cssColor(theme.primary(0.15)), secondary, cssColor(theme.primary(0.03)), cssColor(theme.accent(0.18)),
                      cssColor(theme.accent(0.55)));
    // A disabled prominent button keeps a faded accent; its text takes the label colour, as white
    // on the pale fill could hardly be read.
    sheet += QStringLiteral(
                 "QPushButton[veskRole=\"prominent\"] { background: %1; color: white; border: 1px solid %1; }"
                 "QPushButton[veskRole=\"prominent\"]:hover { background: %2; }"
                 "QPushButton[veskRole=\"prominent\"]:disabled { background: %3; border-color: %3; color: %7; }"
                 "QPushButton[veskRole=\"plain\"] { background: transparent; border: none; color: %4; }"
                 "QPushButton[veskRole=\"plain\"]:hover { color: %5; }"
                 "QPushButton[veskRole=\"destructive\"] { color: %6; }")
                 .arg(accent, cssColor(theme.accent().lighter(112)), cssColor(theme.accent(0.45)), accent, label, red,
                      cssColor(theme.label(0.7)));
    // Tool buttons (icon buttons beside fields) take the bordered look; raised-on-hover ones stay
    // bare until the pointer is over them.
    sheet += QStringLiteral(
                 "QToolButton { background: %1; color: %2; border: 1px solid %3; border-radius: 7px; padding: 3px 6px; }"
                 "QToolButton:hover { background: %4; }"
                 "QToolButton:pressed { background: %5; }"
                 "QToolButton:checked { background: %6; border-color: %7; }"
                 "QToolButton[autoRaise=\"true\"] { background: transparent; border: 1px solid transparent; }"
                 "QToolButton[autoRaise=\"true\"]:hover { background: %4; }")
                 .arg(cssColor(theme.primary(0.055)), label, cssColor(theme.primary(0.12)), cssColor(theme.primary(0.09)),
                      cssColor(theme.primary(0.15)), cssColor(theme.accent(0.18)), cssColor(theme.accent(0.55)));
    // Text fields: the same soft outline, the accent when focused.
    sheet += QStringLiteral(
                 "QLineEdit { background: %1; color: %2; border: 1px solid %3; border-radius: 7px;"
                 " padding: 4px 8px; selection-background-color: %4; }"
                 "QLineEdit:focus { border: 1px solid %5; }"
                 "QLineEdit:disabled { color: %6; }")
                 .arg(fieldBackground, label, cssColor(theme.primary(0.14)), cssColor(theme.accent(0.35)),
                      cssColor(theme.accent(0.8)), tertiary);
    sheet += QStringLiteral(
                 "QComboBox { background: %1; color: %2; border: 1px solid %3; border-radius: 7px; padding: 3px 8px; }"
                 "QComboBox::drop-down { border: none; width: 16px; }")
                 .arg(cssColor(theme.primary(0.055)), label, cssColor(theme.primary(0.12)));
    // Menus: rounded, with roomy items and the accent under the pointer. Their text colour comes
    // from the palette, not from here, so an entry can be drawn in its own colour (a destructive one
    // in red).
    sheet += QStringLiteral(
                 "QMenu { background: %1; border: 1px solid %2; border-radius: 8px; padding: 5px; }"
                 "QMenu::item { padding: 5px 22px 5px 22px; border-radius: 5px; }"
                 "QMenu::item:selected { background: %3; color: white; }"
                 "QMenu::item:disabled { color: %4; }"
                 "QMenu::separator { height: 1px; background: %5; margin: 4px 8px; }"
                 "QMenu::icon { padding-left: 6px; }")
                 .arg(cssColor(theme.colors().controlBackground), cssColor(theme.primary(0.12)), accent, tertiary,
                      cssColor(theme.separator()));
    // Thin scroll bars without arrow buttons, a little wider under the pointer.
    sheet += QStringLiteral(
                 "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px 1px 2px 0; }"
                 "QScrollBar:vertical:hover { width: 12px; }"
                 "QScrollBar:horizontal { background: transparent; height: 8px; margin: 0 2px 1px 2px; }"
                 "QScrollBar:horizontal:hover { height: 12px; }"
                 "QScrollBar::handle { background: %1; border-radius: 3px; min-height: 28px; min-width: 28px; }"
                 "QScrollBar::handle:hover { background: %2; }"
                 "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }"
                 "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
                 .arg(cssColor(theme.primary(0.22)), cssColor(theme.primary(0.38)));
    sheet += QStringLiteral("QToolTip { background: %1; color: %2; border: 1px solid %3; padding: 4px 6px; }")
                 .arg(cssColor(theme.colors().controlBackground), label, cssColor(theme.primary(0.12)));
    return sheet;
}

} // namespace vesk
