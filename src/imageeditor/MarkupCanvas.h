#pragma once

#include "editor/MarkupEditorState.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <optional>

class QLineEdit;

namespace vesk {

// The markup sheet's canvas: the picture fitted with 28 points of padding, the markup drawn over
// it, the selection outline with its handles, and the inline text field. One drag either moves
// the element under the pointer or draws with the current tool; a press on a selection handle
// reshapes the selected element instead, and on a selected text's drag area moves it.
class MarkupCanvas : public QWidget {
    Q_OBJECT
public:
    MarkupCanvas(MarkupEditorState& state, const QImage& image, QWidget* parent = nullptr);

    // Where the picture is shown, in this widget's coordinates.
    QRectF imageRect() const;
    QLineEdit* inlineTextField() const { return m_textField; }
    // Brings the inline field in line with the state after a change made elsewhere.
    void refresh();

signals:
    // The state changed through the canvas (a drag, the text field).
    void stateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Gesture { Canvas, Handle, TextDrag };
    void paintSelectionOverlay(QPainter& painter, const VeskMarkupElement& element, QSizeF imageSize) const;
    void placeTextField();
    const QPixmap& scaledPixmap(QSizeF size, qreal devicePixelRatio);
    void changed();

    MarkupEditorState& m_state;
    QImage m_image;
    QPixmap m_pixmap;
    // The picture scaled to the size it is shown at, made again only when that size changes.
    QPixmap m_scaledPixmap;
    // Elements that do not change during a drag, drawn once into transparent layers: the ones
    // below the element being moved or reshaped (all of them while drawing) and the ones above
    // it. A drag step then draws only what changes.
    struct Layer {
        QImage image;
        QList<VeskMarkupElement> elements;
    };
    // Brings a layer to hold exactly `wanted`; new elements on top of what it holds (a commit, a
    // redo) are drawn onto it, any other change draws it afresh.
    static void updateLayer(Layer& layer, const QList<VeskMarkupElement>& wanted, QSizeF size, qreal devicePixelRatio);
    Layer m_below;
    Layer m_above;
    std::optional<Gesture> m_gesture;
    ResizeHandle m_handle = ResizeHandle::Start;
    QUuid m_gestureElementID;
    QPointF m_pressPosition;
    bool m_textDragStarted = false;
    QLineEdit* m_textField;
};

} // namespace vesk
