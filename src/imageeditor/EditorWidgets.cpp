#include "imageeditor/EditorWidgets.h"

#include "platform/ui/IconMap.h"

#include <QFrame>
#include <QLabel>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vesk {

QVBoxLayout* addSection(QVBoxLayout* column, const QString& name, QWidget* parent, int spacing)
{
    auto* section = new QVBoxLayout;
    section->setSpacing(spacing);
    section->setContentsMargins(0, 0, 0, 0);
    section->addWidget(styledLabel(name, TextStyle::Headline, parent, false, QFont::DemiBold));
    column->addLayout(section);
    return section;
}

void layOutEditorSheet(QWidget* sheet, QWidget* header, QWidget* canvas, QWidget* sidebar, int sidebarWidth)
{
    auto* column = new QVBoxLayout(sheet);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(header);
    column->addWidget(horizontalDivider(sheet));

    auto* work = new QHBoxLayout;
    work->setSpacing(0);
    work->addWidget(canvas, 1);
    work->addWidget(verticalDivider(sheet));
    auto* scroll = new QScrollArea(sheet);
    scroll->setFixedWidth(sidebarWidth);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setWidget(sidebar);
    work->addWidget(scroll);
    column->addLayout(work, 1);
}

} // namespace vesk
