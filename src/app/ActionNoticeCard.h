#pragma once

#include <QWidget>

class QAbstractButton;
class QPainter;

namespace vesk {

// The floating card of a notice that can be acted on (a failure to dismiss, an import to cancel):
// a rounded card with a soft shadow and a small close button in its top-trailing corner. Each
// notice paints its own content inside contentRect().
class ActionNoticeCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int shadowMargin = 16;
    static constexpr qreal padding = 12;

    QAbstractButton* closeButton() const { return m_close; }

protected:
    // closeName: what the close button does, for its tooltip and for accessibility.
    ActionNoticeCard(const QString& closeName, QWidget* parent);

    // The widget's size for content of this size inside the padding and the shadow.
    static QSize sizeFor(const QSizeF& content);
    QRectF cardRect() const;
    QRectF contentRect() const;
    // The card's shadow, fill (tinted when given) and outline.
    void paintCard(QPainter& painter, const QColor& tint, const QColor& outline) const;

    void resizeEvent(QResizeEvent* event) override;

private:
    QAbstractButton* m_close = nullptr;
};

} // namespace vesk
