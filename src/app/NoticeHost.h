#pragma once
// Floats one notice view in the window's top-trailing corner at a fixed distance from the top,
// sliding it in from the top edge with a fade and fading it out when it is cleared or replaced.

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace vesk {

class NoticeHost : public QObject {
    Q_OBJECT
public:
    NoticeHost(QWidget* window, int top, int trailing);

    // Shows view (taking ownership) in place of the current one.
    void show(QWidget* view);
    // Fades the current view out.
    void clear();
    // The view shown now (none once cleared, even while it fades out).
    QWidget* current() const { return m_current; }
    // Keeps the view in the corner after the window changed size.
    void reposition();
    // Where the visible notice sits for the current window size.
    QPoint targetPosition(const QWidget* view) const;

private:
    void fadeOut(QWidget* view);

    QWidget* m_window;
    int m_top;
    int m_trailing;
    QPointer<QWidget> m_current;
};

} // namespace vesk
