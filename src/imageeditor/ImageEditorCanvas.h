#pragma once

#include "editor/EditPipeline.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace vesk {

class VeskCropOverlay;

// The editor's picture area: the picture fitted with 28 points of padding on the under-page
// colour, the crop overlay over it, or the notice that the picture could not be loaded.
class ImageEditorCanvas : public QWidget {
    Q_OBJECT
public:
    enum class Content { Loading, Picture, Failed };

    explicit ImageEditorCanvas(QWidget* parent = nullptr);

    // The uncropped picture under the crop frame.
    void setPicture(const QImage& picture);
    void showFailure();
    Content content() const { return m_content; }
    const QImage& picture() const { return m_picture; }

    VeskCropOverlay* overlay() const { return m_overlay; }
    // Where the picture is drawn, in this widget's coordinates.
    QRectF imageFrame() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutOverlay();

    Content m_content = Content::Loading;
    QImage m_picture;
    QPixmap m_pixmap;
    VeskCropOverlay* m_overlay;
};

} // namespace vesk
