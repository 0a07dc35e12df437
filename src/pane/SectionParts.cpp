#include "pane/SectionParts.h"

#include "pane/KeptLayoutLabel.h"
#include "pane/PreviewSections.h"
#include "pane/WrappingText.h"

#include "platform/ui/Theme.h"
#include "platform/ui/ControlText.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace vesk {

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* label = new KeptLayoutLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

WrappingText* makeWrappedLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent,
    int maxLines)
{
    auto* label = new WrappingText(text, font, color, maxLines, parent);
    label->setSelectable(false);
    return label;
}

QPushButton* makeButton(const QString& text, const std::function<void()>& action, QWidget* parent)
{
    auto* button = new QPushButton(controlText(text), parent);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    QObject::connect(button, &QPushButton::clicked, button, action);
    return button;
}

namespace {

// A horizontal line frame whose line is one fill: the style draws it a pixel at a time, and so
// many pieces are blended on the GUI thread pool, waking its threads for a hairline.
class Divider : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(0, height() / 2, width(), lineWidth()), palette().color(QPalette::WindowText));
    }
};

} // namespace

QWidget* makeDivider(QWidget* parent)
{
    auto* divider = new Divider(parent);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    QPalette palette = divider->palette();
    palette.setColor(QPalette::WindowText, Theme::current().separator());
    divider->setPalette(palette);
    return divider;
}

QVBoxLayout* makeColumn(QWidget* widget, int spacing)
{
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    // Top-aligned only: boxes take the full width, buttons are placed leading one by one.
    column->setAlignment(Qt::AlignTop);
    return column;
}

void relayoutUpTo(QWidget* widget, QWidget* upTo)
{
    for (QWidget* changed = widget; changed; changed = changed->parentWidget()) {
        changed->updateGeometry();
        if (changed == upTo)
            break;
    }
}

QPushButton* addOpenButton(QVBoxLayout* column, const QString& title, const QString& path,
    const PreviewSectionContext& context, QWidget* parent)
{
    const auto open = context.open;
    auto* button = makeButton(title, [open, path] {
        if (open)
            open(QUrl::fromLocalFile(path));
    }, parent);
    column->addWidget(button, 0, Qt::AlignLeft);
    return button;
}

} // namespace vesk
