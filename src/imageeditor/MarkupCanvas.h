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

    // Draws the elements, the drawing preview and the selection outline, the origin at the
    // picture's top-left corner.
    static void renderCanvas(QPainter& painter, const MarkupEditorState& state, QSizeF imageSize);

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
    void changed();

    MarkupEditorState& m_state;
    QImage m_image;
    QPixmap m_pixmap;
    std::optional<Gesture> m_gesture;
    ResizeHandle m_handle = ResizeHandle::Start;
    QUuid m_gestureElementID;
    QPointF m_pressPosition;
    bool m_textDragStarted = false;
    QLineEdit* m_textField;
};

} // namespace vesk
