#include "platform/ui/SheetParts.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/ControlText.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace vesk {

QLabel* styledLabel(const QString& text, TextStyle style, QWidget* parent, bool secondary,
                    std::optional<QFont::Weight> weight)
{
    auto* label = new QLabel(text, parent);
    QFont font = Theme::font(style);
    if (weight)
        font.setWeight(*weight);
    label->setFont(font);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Theme::current().secondary());
        label->setPalette(palette);
    }
    return label;
}

QWidget* sheetTitleBlock(const QString& title, const QString& caption, QWidget* parent)
{
    auto* block = new QWidget(parent);
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(styledLabel(title, TextStyle::Title2, block, false, QFont::Bold));
    column->addWidget(styledLabel(caption, TextStyle::Caption, block, true));
    return block;
}

QPushButton* prominentButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(controlText(text), parent);
    button->setAutoDefault(false);
    // The look is the application style sheet's prominent role, so it follows the appearance.
    button->setProperty("veskRole", "prominent");
    return button;
}

QPushButton* borderedButton(const QString& text, const QString& symbol, QWidget* parent, bool prominent)
{
    QPushButton* button = prominent ? prominentButton(text, parent) : new QPushButton(controlText(text), parent);
    button->setAutoDefault(false);
    if (!symbol.isEmpty())
        button->setIcon(IconMap::icon(symbol, prominent ? Theme::white() : Theme::current().label(), 14));
    return button;
}

namespace {

QFrame* divider(QFrame::Shape shape, QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Plain);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, Theme::current().separator());
    line->setPalette(palette);
    return line;
}

} // namespace

QFrame* horizontalDivider(QWidget* parent)
{
    return divider(QFrame::HLine, parent);
}

QFrame* verticalDivider(QWidget* parent)
{
    return divider(QFrame::VLine, parent);
}

} // namespace vesk
