#include "app/NoticeHost.h"

#include "platform/ui/SpringAnimator.h"

#include <QGraphicsOpacityEffect>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

namespace vesk {

namespace {
// Views that paint a shadow around their shape say how much room it takes, so the shape itself
// lands on the notice's position.
int shadowMarginOf(const QWidget* view)
{
    const QVariant margin = view->property("shadowMargin");
    return margin.isValid() ? margin.toInt() : 0;
}
} // namespace

NoticeHost::NoticeHost(QWidget* window, int top, int trailing)
    : QObject(window)
    , m_window(window)
    , m_top(top)
    , m_trailing(trailing)
{
}

QPoint NoticeHost::targetPosition(const QWidget* view) const
{
    const int margin = shadowMarginOf(view);
    return QPoint(m_window->width() - m_trailing - view->width() + margin, m_top - margin);
}

void NoticeHost::show(QWidget* view)
{
    if (m_current)
        fadeOut(m_current);
    m_current = view;
    if (!view)
        return;
    view->setParent(m_window);
    view->adjustSize();
    view->resize(view->sizeHint());
    const QPoint target = targetPosition(view);
    auto* opacity = new QGraphicsOpacityEffect(view);
    opacity->setOpacity(0.0);
    view->setGraphicsEffect(opacity);
    view->move(target - QPoint(0, 24));
    view->show();
    view->raise();

    auto* group = new QParallelAnimationGroup(view);
    auto* slide = new QPropertyAnimation(view, "pos", group);
    slide->setDuration(260);
    slide->setStartValue(view->pos());
    slide->setEndValue(target);
    slide->setEasingCurve(AnimationCurves::easeOut());
    auto* fade = new QPropertyAnimation(opacity, "opacity", group);
    fade->setDuration(220);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->setEasingCurve(AnimationCurves::easeOut());
    group->addAnimation(slide);
    group->addAnimation(fade);
    connect(group, &QAbstractAnimation::finished, view, [view] {
        // Text renders crisper without the effect once the view is fully shown.
        view->setGraphicsEffect(nullptr);
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void NoticeHost::clear()
{
    if (m_current)
        fadeOut(m_current);
    m_current = nullptr;
}

void NoticeHost::fadeOut(QWidget* view)
{
    // A notice replaced while it is still coming in leaves from where it got to; its entrance
    // must not finish afterwards and drop the fading effect.
    for (QAbstractAnimation* running : view->findChildren<QAbstractAnimation*>(QString(), Qt::FindDirectChildrenOnly))
        running->stop();
    auto* current = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
    const qreal startOpacity = current ? current->opacity() : 1.0;
    auto* opacity = new QGraphicsOpacityEffect(view);
    opacity->setOpacity(startOpacity);
    view->setGraphicsEffect(opacity);
    // It leaves the way it came: back towards the top edge while it fades.
    auto* group = new QParallelAnimationGroup(view);
    auto* slide = new QPropertyAnimation(view, "pos", group);
    slide->setDuration(180);
    slide->setStartValue(view->pos());
    slide->setEndValue(view->pos() - QPoint(0, 24));
    slide->setEasingCurve(AnimationCurves::easeOut());
    auto* fade = new QPropertyAnimation(opacity, "opacity", group);
    fade->setDuration(180);
    fade->setStartValue(startOpacity);
    fade->setEndValue(0.0);
    fade->setEasingCurve(AnimationCurves::easeOut());
    group->addAnimation(slide);
    group->addAnimation(fade);
    connect(group, &QAbstractAnimation::finished, view, &QObject::deleteLater);
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void NoticeHost::reposition()
{
    if (m_current)
        m_current->move(targetPosition(m_current));
}

} // namespace vesk
