#include "platform/ui/VeskAlert.h"

#include "platform/ui/ControlStyles.h"
#include "platform/ui/ControlText.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

#include <QPushButton>
#include <QStyle>

namespace vesk {

namespace {

QString symbolName(AlertSymbol symbol)
{
    switch (symbol) {
    case AlertSymbol::None: break;
    case AlertSymbol::Warning: return QStringLiteral("exclamationmark.triangle");
    case AlertSymbol::Question: return QStringLiteral("questionmark.circle");
    }
    return {};
}

// The look follows the appearance while the alert is open.
void applyLook(QMessageBox* alert, AlertSymbol symbol)
{
    const Theme& theme = Theme::current();
    alert->setStyleSheet(
        QStringLiteral("QMessageBox { background: %1; }"
                       "QLabel#qt_msgbox_label { color: %2; font-weight: bold; font-size: %3pt; }"
                       "QLabel#qt_msgbox_informativelabel { color: %4; min-width: 320px; }")
            .arg(cssColor(theme.colors().windowBackground), cssColor(theme.label()))
            .arg(QString::number(Theme::font(14).pointSizeF(), 'f', 1))
            .arg(cssColor(theme.secondary())));
    const QString name = symbolName(symbol);
    // No pixmap at all would let the box fall back to nothing, which is what None asks for.
    alert->setIconPixmap(name.isEmpty() ? QPixmap()
                                        : IconMap::pixmap(name, symbol == AlertSymbol::Warning ? theme.accent()
                                                                                              : theme.secondary(),
                                                          40, alert->devicePixelRatioF()));
}

void styleButton(QPushButton* button, QMessageBox::ButtonRole role)
{
    button->setAutoDefault(false);
    if (role == QMessageBox::DestructiveRole)
        button->setProperty("veskRole", "destructive");
    else if (role == QMessageBox::AcceptRole || role == QMessageBox::YesRole)
        button->setProperty("veskRole", "prominent");
    // The box's own style sheet has already styled the button; the role must be read again.
    button->style()->unpolish(button);
    button->style()->polish(button);
}

} // namespace

QMessageBox* makeVeskAlert(const QString& title, const QString& message, AlertSymbol symbol, QWidget* parent)
{
    auto* alert = new QMessageBox(parent);
    alert->setWindowTitle(title);
    alert->setTextFormat(Qt::PlainText);
    alert->setText(title);
    if (!message.isEmpty())
        alert->setInformativeText(message);
    applyLook(alert, symbol);
    QObject::connect(&Theme::current(), &Theme::appearanceChanged, alert, [alert, symbol] { applyLook(alert, symbol); });
    return alert;
}

QPushButton* addAlertButton(QMessageBox* alert, const QString& text, QMessageBox::ButtonRole role)
{
    QPushButton* button = alert->addButton(controlText(text), role);
    styleButton(button, role);
    return button;
}

} // namespace vesk
