#include "app/WindowChrome.h"

#include "platform/ui/Theme.h"

#include <QEvent>
#include <QPainter>

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
    p.setPen(QPen(borderColor(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, width() - 1, height() - 1));
}

} // namespace vesk
