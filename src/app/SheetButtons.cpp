#include "app/SheetButtons.h"

#include "platform/ui/Theme.h"

#include <QPushButton>

namespace vesk {

QPushButton* makeProminentButton(const QString& text, QWidget* parent)
{
    const Theme& theme = Theme::current();
    auto* button = new QPushButton(text, parent);
    button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border-radius: 6px; padding: 4px 14px; }"
                                         "QPushButton:disabled { background: %2; }")
                              .arg(theme.accent().name(QColor::HexArgb), theme.accent(0.35).name(QColor::HexArgb)));
    return button;
}

} // namespace vesk
