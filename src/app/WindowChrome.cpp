#include "app/WindowChrome.h"

#include "platform/ui/Theme.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace vesk {

WindowChrome::WindowChrome(QColor titlebarAluminum, QWidget* window)
    : QWidget(window)
    , m_color(titlebarAluminum)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    window->installEventFilter(this);
    setGeometry(window->rect());
    setMask(paintedRegion(window->size()));
    raise();
}

QColor WindowChrome::mainWindowAluminum()
{
    return Theme::rgb(0.48, 0.51, 0.55);
}

QColor WindowChrome::borderColor() const
{
    QColor border = m_color;
    border.setAlphaF(0.96f);
    return border;
}

QRegion WindowChrome::paintedRegion(QSize size)
{
    const int w = size.width();
    const int h = size.height();
    if (w <= 0 || h <= 0)
        return {};
    QRegion region(0, 0, w, std::min(h, tintHeight));
    region += QRect(0, h - 1, w, 1);
    region += QRect(0, 0, 1, h);
    region += QRect(w - 1, 0, 1, h);
    return region;
}

void WindowChrome::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Only the band and the edge are this widget's: raised over a new piece of the window, or
    // over a part of it that repaints, it adds only them, never a repaint of the whole window.
    setMask(paintedRegion(size()));
}

bool WindowChrome::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget()) {
        if (event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        else if (event->type() == QEvent::ChildAdded || event->type() == QEvent::Show)
            raise();
    }
    return QWidget::eventFilter(watched, event);
}

void WindowChrome::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(QRect(0, 0, width(), tintHeight), m_color);
    // The one-point edge as four bands that never overlap, so the translucent colour is laid once
    // on each pixel. The raster engine hands a translucent fill taller than about a hundred scan
    // lines to its thread pool and waits for it; the edge repaints with every part of the window
    // that changes, so its sides are filled here in short runs instead.
    constexpr int kRun = 64;
    const QColor edge = borderColor();
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return;
    p.fillRect(QRect(0, 0, w, 1), edge);
    if (h > 1)
        p.fillRect(QRect(0, h - 1, w, 1), edge);
    for (int top = 1; top < h - 1; top += kRun) {
        const int rows = std::min(kRun, h - 1 - top);
        p.fillRect(QRect(0, top, 1, rows), edge);
        if (w > 1)
            p.fillRect(QRect(w - 1, top, 1, rows), edge);
    }
}

} // namespace vesk
