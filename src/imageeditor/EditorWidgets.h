#pragma once
// Small pieces shared by the image editor and the markup sheet: section columns and the sheet
// layout, over the kit's sheet parts and busy spinner.

#include "platform/ui/BusyIndicator.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"

#include <QPushButton>
#include <QString>
#include <QWidget>

class QLabel;
class QFrame;
class QVBoxLayout;

namespace vesk {

// A column of the controls sidebar: its name in the headline font, then `spacing` between rows.
QVBoxLayout* addSection(QVBoxLayout* column, const QString& name, QWidget* parent, int spacing = 10);

// Lays out an editor sheet: the header, a divider, then the work area of the canvas (taking all
// the room left), a divider and the sidebar in a vertically scrolling column of `sidebarWidth`.
void layOutEditorSheet(QWidget* sheet, QWidget* header, QWidget* canvas, QWidget* sidebar, int sidebarWidth);

} // namespace vesk
