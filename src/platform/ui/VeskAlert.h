#pragma once
// One look for every confirmation and alert of Vesk's windows: the theme's background and text
// colours, the title in bold above its message, a symbol drawn in the theme's colours instead of
// the desktop's stock icons, and buttons styled by their role (a destructive one in the
// destructive colour). Texts and button roles are the caller's, unchanged.

#include <QMessageBox>
#include <QString>

class QPushButton;
class QWidget;

namespace vesk {

enum class AlertSymbol { None, Warning, Question };

// A message box with the title as its window title and bold headline, and the message (if any)
// under it. Not shown: the caller opens it (open(), exec() or its window's sheet wiring).
QMessageBox* makeVeskAlert(const QString& title, const QString& message, AlertSymbol symbol,
                           QWidget* parent = nullptr);

// Adds a button with that text and role. Destructive buttons are written in the destructive
// colour, accepting ones are the prominent button. Qt's standard buttons are not used: they bring
// the desktop's stock icons with them.
QPushButton* addAlertButton(QMessageBox* alert, const QString& text, QMessageBox::ButtonRole role);

} // namespace vesk
