#pragma once

#include <QLabel>

namespace vesk {

// One line of text shortened (in the middle or at its end) to fit the width its layout gives it;
// the whole text is its tooltip. It asks for the width of its whole text and takes less.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    ElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent = nullptr);
    QString fullText() const { return m_text; }
    void setFullText(const QString& text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString m_text;
    Qt::TextElideMode m_mode;
};

} // namespace vesk
