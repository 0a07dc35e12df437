#pragma once

#include "editor/CropGeometry.h"

#include <QRectF>
#include <QWidget>
#include <optional>

namespace vesk {

// The crop frame laid over the editor's picture: the outside dimmed, a thin frame, a thirds grid,
// corner brackets, four edge bars, four corner knobs and the inside to move it. Dragging changes
// the four crop fractions, always recomputed from the fractions the drag started with and its
// total translation, so the crop follows the pointer without drift.
class VeskCropOverlay : public QWidget {
    Q_OBJECT
public:
    explicit VeskCropOverlay(QWidget* parent = nullptr, CropOverlayMetrics metrics = {});

    // Where the picture is shown, in this widget's coordinates.
    void setImageFrame(const QRectF& frame);
    const QRectF& imageFrame() const { return m_imageFrame; }

    const CropInsets& insets() const { return m_insets; }
    // Sets the fractions without telling (the editor's own changes, such as Reset Crop).
    void setInsets(const CropInsets& insets);

    const CropOverlayMetrics& metrics() const { return m_metrics; }
    bool dragging() const { return m_dragStartInsets.has_value(); }

signals:
    // A drag changed the fractions.
    void insetsChanged(const vesk::CropInsets& insets);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void dragTo(QPointF position);

    CropOverlayMetrics m_metrics;
    QRectF m_imageFrame;
    CropInsets m_insets;
    std::optional<CropInsets> m_dragStartInsets;
    std::optional<CropHandle> m_dragHandle;
    QPointF m_pressPosition;
};

} // namespace vesk
