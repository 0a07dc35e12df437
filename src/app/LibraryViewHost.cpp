#include "app/LibraryViewHost.h"

#include "app/MainWindowState.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QPainter>
#include <QVBoxLayout>

namespace vesk {

DropTargetHighlight::DropTargetHighlight(MainWindowState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&m_state, &MainWindowState::isTargetedChanged, this, qOverload<>(&QWidget::update));
}

void DropTargetHighlight::paintEvent(QPaintEvent*)
{
    if (!m_state.isTargeted())
        return;
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Painting::roundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius);
    p.fillPath(shape, theme.accent(0.06));
    Painting::strokeDashed(p, shape, theme.accent(0.75), 2, {10, 8});
}

LibraryViewHost::LibraryViewHost(VeskStore& store, MainWindowState& state, const LibraryContentFactory& factory,
                                 QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_content = factory ? factory(store, state, this) : new QWidget(this);
    layout->addWidget(m_content);
    m_highlight = new DropTargetHighlight(state, this);
    m_highlight->raise();
}

void LibraryViewHost::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_highlight->setGeometry(rect());
    m_highlight->raise();
}

} // namespace vesk
