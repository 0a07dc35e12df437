#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace vesk {

// Shows one picture scaled to fit, centred and letterboxed, clipped to its bounds. It never asks
// for a size of its own, so a picture never pushes the layout around, and handing it the picture
// it already shows does nothing at all (no conversion, no repaint).
class StableImageView : public QWidget {
    Q_OBJECT
public:
    explicit StableImageView(QWidget* parent = nullptr);

    // Identity, not pixels: the same QImage (or a copy of it) is ignored; a different image with
    // equal pixels replaces the contents.
    void setImage(const QImage& image);
    QImage image() const { return m_image; }

    QSize sizeHint() const override { return {}; }
    QSize minimumSizeHint() const override { return {}; }

    // How often the shown contents were replaced; lets tests see that a repeat did no work.
    int contentsGeneration() const { return m_generation; }

    // The rectangle a picture of `imageSize` takes inside `bounds` when fitted and centred.
    static QRectF fittedRect(const QSizeF& imageSize, const QRectF& bounds);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QPixmap m_pixmap;
    int m_generation = 0;
};

} // namespace vesk
