#pragma once
// A small indeterminate spinner of the UI kit (src/platform/ui/, see Theme.h): a turning arc,
// animated only while it is visible.

#include <QColor>
#include <QWidget>

class QTimer;

namespace vesk {

class BusyIndicator : public QWidget {
public:
    // A square of `diameter` points; the arc is drawn in `color`, or in the secondary label colour
    // of the current appearance when none is given.
    explicit BusyIndicator(QWidget* parent = nullptr, int diameter = 14, QColor color = QColor());

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer* m_timer;
    QColor m_color;
    int m_angle = 0;
};

} // namespace vesk
