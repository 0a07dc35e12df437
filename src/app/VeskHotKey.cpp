#include "app/VeskHotKey.h"

#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/ui/VeskAlert.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace vesk {

VeskHotKey::VeskHotKey(QObject* parent)
    : QObject(parent)
    , m_key(Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, kSummonHotKeyIdentifier)
{
    connect(&m_key, &GlobalHotKey::pressed, this, [this](quint32 identifier) {
        if (identifier == kSummonHotKeyIdentifier)
            summonMainWindow();
    });
}

void VeskHotKey::start()
{
    if (m_key.hasStarted())
        return;
    if (const std::optional<HotKeyFailure> failure = m_key.start()) {
        if (m_report)
            m_report(*failure);
        else
            reportHotKeyFailure(*failure);
    }
}

QString VeskHotKey::failureAlertText(const HotKeyFailure& failure)
{
    return QStringLiteral("Vesk could not register Control + Alt + T.\n\nRegistration stage: ") + failure.stage
        + QStringLiteral("\nX11 status: ") + QString::number(failure.status)
        + QStringLiteral("\n\nQuit any other running copy of Vesk and reopen this one.");
}

void VeskHotKey::reportHotKeyFailure(const HotKeyFailure& failure)
{
    veskLog(QStringLiteral("Vesk global hotkey ") + failure.stage + QStringLiteral(" registration failed: ")
            + QString::number(failure.status));
    std::unique_ptr<QMessageBox> alert(
        makeVeskAlert(QStringLiteral("Vesk shortcut unavailable"), failureAlertText(failure), AlertSymbol::Warning));
    addAlertButton(alert.get(), QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert->exec();
}

void VeskHotKey::summonMainWindow()
{
    const bool wasActive = QApplication::activeWindow() != nullptr;
    if (QWidget* window = m_window.data()) {
        if (window->isMinimized())
            window->showNormal();
        window->show();
        window->raise();
        window->activateWindow();
    }
    QTimer::singleShot(wasActive ? 20 : 80, this, [] { NotificationCenter::shared().post(kSummonSearchNotification); });
}

} // namespace vesk
