#include "pane/PaneStyleSheet.h"

#include "platform/ui/Theme.h"

#include <QColor>

namespace vesk {

namespace {

QString bringBackButtonRule(const QString& selector, const QColor& foreground, const QColor& background,
    const QColor& border)
{
    return QStringLiteral("%1 { color: %2; background: %3; border: 1px solid %4; border-radius: 6px;"
                          " padding: 2px 8px; }")
        .arg(selector, foreground.name(QColor::HexArgb), background.name(QColor::HexArgb),
            border.name(QColor::HexArgb));
}

} // namespace

QString previewPaneStyleSheet(const Theme& theme)
{
    QString sheet;
    // The pane's content and the tag chips lie on the pane's own background.
    sheet += QStringLiteral("QScrollArea { background: transparent; }");
    // The tag entry's field and its add button are drawn by the entry row around them.
    sheet += QStringLiteral("QLineEdit#tagField { background: transparent; }"
                            "QToolButton#tagAddButton { border: none; background: transparent; padding: 0; }");
    // The stored copy's copy button is as small as its icon.
    sheet += QStringLiteral("QPushButton#previewCopyPath { padding: 0; min-height: 0; }");
    // The Bring Back menu: bordered, small; tinted with the accent while a reminder is set.
    const QString bringBack = QStringLiteral("QToolButton#bringBackMenu");
    sheet += bringBackButtonRule(bringBack, theme.label(), theme.primary(0.05), theme.primary(0.12));
    sheet += bringBackButtonRule(bringBack + QStringLiteral("[%1=\"true\"]").arg(QLatin1String(kBringBackScheduledProperty)),
        theme.accent(), theme.accent(0.12), theme.accent(0.35));
    sheet += bringBack + QStringLiteral("::menu-indicator { image: none; width: 0; }");
    // Edit and Edit Image beside it are small controls as well.
    sheet += QStringLiteral("QPushButton#previewEditButton, QPushButton#previewEditImageButton"
                            " { padding: 3px 8px; min-height: 0; }");
    return sheet;
}

} // namespace vesk
