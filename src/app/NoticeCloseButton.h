#pragma once

#include <QAbstractButton>

namespace vesk {

// The small round button with a cross that the notices which can be acted on carry (dismiss a
// failure, cancel an import); lit while the pointer is on it.
class NoticeCloseButton : public QAbstractButton {
    Q_OBJECT
public:
    NoticeCloseButton(const QString& accessibleName, QWidget* parent);

    static constexpr int side = 18;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vesk
