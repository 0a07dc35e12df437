#pragma once

#include <QString>

class QPushButton;
class QWidget;

namespace vesk {

// A sheet's confirming button in the prominent style: filled with the accent colour, paler while
// disabled.
QPushButton* makeProminentButton(const QString& text, QWidget* parent);

} // namespace vesk
