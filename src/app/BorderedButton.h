#pragma once

#include <QPushButton>

namespace vesk {

// The bordered button of the window's full-surface states (the welcome surface, the library that
// cannot be read): a tinted capsule with a hairline edge, drawn from the theme like the header's
// buttons rather than in the desktop style's bevel.
class BorderedButton : public QPushButton {
    Q_OBJECT
public:
    BorderedButton(const QString& title, QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kPadding = 16;
    static constexpr int kHeight = 30;
    bool m_hovered = false;
};

} // namespace vesk
