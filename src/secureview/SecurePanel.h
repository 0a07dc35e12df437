#pragma once

#include <QWidget>

namespace vesk {

// A rounded (continuous-corner) panel behind secure content: a faint primary fill, a flat blue
// tint, or a diagonal gradient from the card blue to the primary colour, optionally outlined in
// a lighter blue. Colours follow the current appearance at paint time.
class SecurePanel : public QWidget {
    Q_OBJECT
public:
    struct Look {
        qreal radius;
        qreal blueOpacity = 0;     // of the card blue at the top leading corner; 0: no blue
        qreal primaryOpacity = 0;  // of the primary colour (at the bottom trailing corner with blue)
        qreal outlineOpacity = 0;  // 0: no outline
        qreal outlineWidth = 0;
    };
    explicit SecurePanel(Look look, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look m_look;
};

} // namespace vesk
