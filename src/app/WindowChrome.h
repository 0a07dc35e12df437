#pragma once
// The main window keeps the window manager's frame; the aluminium tint of the title area and the
// one-point window edge are painted inside the content instead, over everything else and
// transparent to the mouse.

#include <QColor>
#include <QRegion>
#include <QWidget>

namespace vesk {

class WindowChrome : public QWidget {
    Q_OBJECT
public:
    explicit WindowChrome(QColor titlebarAluminum, QWidget* window);

    // The main window's colour: red 0.48, green 0.51, blue 0.55.
    static QColor mainWindowAluminum();
    // A thin tinted band along the top edge stands in for the tinted title area.
    static constexpr int tintHeight = 2;

    // The tinted band and the one-point edge of a window of size: all the chrome paints.
    static QRegion paintedRegion(QSize size);

    QColor titlebarAluminum() const { return m_color; }
    QColor borderColor() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor m_color;
};

} // namespace vesk
