#pragma once

#include "editor/MarkupGeometry.h"
#include "editor/VeskMarkupElement.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

// What the current canvas drag does: move the element with `movingID`, or draw.
struct DragMode {
    enum class Kind { Moving, Drawing };
    Kind kind = Kind::Drawing;
    QUuid movingID;

    static DragMode moving(const QUuid& id) { return {Kind::Moving, id}; }
    static DragMode drawing() { return {Kind::Drawing, {}}; }
    friend bool operator==(const DragMode&, const DragMode&) = default;
};

// The markup editor's whole state and every rule that changes it, without any widget: the
// sheet's canvas, palette and text field call these and repaint. Locations are in the canvas
// area's points; `imageRect` is where the picture is shown in that space.
class MarkupEditorState {
public:
    static inline const QColor kDefaultStrokeColor = QColor(255, 59, 48);
    static constexpr double kDefaultStrokeWidth = 5;

    // --- State (the defaults of a freshly opened editor) ---
    VeskMarkupTool tool = VeskMarkupTool::Arrow;
    QColor strokeColor = kDefaultStrokeColor;
    double strokeWidth = kDefaultStrokeWidth;
    QList<VeskMarkupElement> elements;
    // What redo puts back, the last one first.
    QList<VeskMarkupElement> redoStack;
    std::optional<QPointF> activeStart;
    std::optional<QPointF> activeEnd;
    QList<QPointF> activePoints;
    std::optional<QPointF> pendingTextPoint;
    QString textDraft;
    bool inlineTextEditing = false;
    bool textPlacementArmed = false;
    bool inlineTextFocused = false;
    std::optional<QUuid> selectedElementID;
    std::optional<DragMode> dragMode;
    std::optional<VeskMarkupElement> moveStartElement;
    std::optional<VeskMarkupElement> resizeStartElement;

    // --- Element list ---

    // A new element goes on top of all others and empties the redo list.
    void commitElement(const VeskMarkupElement& element);
    // The first element with this identifier.
    std::optional<VeskMarkupElement> element(const QUuid& id) const;
    // The selected element, when the selection names one of `elements`.
    std::optional<VeskMarkupElement> selectedElement() const;

    // --- Palette and commands ---

    // Commits an open text first; arms text placement for the Text tool; clears the selection.
    void selectTool(VeskMarkupTool newTool);
    // Takes the newest element away to the redo list.
    void undo();
    // Puts the last undone (or deleted) element back on top.
    void redo();
    // Removes the selected element; the redo list then holds it alone.
    void deleteSelected();
    // Empties both lists; cannot be undone.
    void clearMarkup();
    // The elements handed back by Apply Markup: an open text field's text is committed first.
    QList<VeskMarkupElement> elementsForApply();

    bool canUndo() const { return !elements.isEmpty(); }
    bool canRedo() const { return !redoStack.isEmpty(); }
    bool canDeleteSelected() const { return selectedElementID.has_value(); }
    bool canClear() const { return !elements.isEmpty(); }

    // --- Canvas drag (press, moves, release) ---

    // Every change of a drag, the first included (a press delivers one change).
    void handleDragChanged(QPointF location, QPointF translation, const QRectF& imageRect);
    void handleDragEnded(QPointF location, const QRectF& imageRect);
    // What the current drawing drag would make, for the canvas to show; none when not drawing.
    std::optional<VeskMarkupElement> activePreviewElement() const;

    // --- Inline text ---

    // Turns the trimmed draft into a text element at the pending point (nothing when it is
    // blank) and closes the field.
    void commitInlineText();
    // Closes the field without making anything.
    void cancelInlineText();

    // --- Selection handles ---

    // A text element's drag area: moves it by the drag's total translation in points.
    void moveElement(const QUuid& id, QPointF translation, const QRectF& imageRect);
    void endMove() { moveStartElement.reset(); }
    // A handle drag: reshapes the element from its state when the drag began.
    void resizeElement(const QUuid& id, ResizeHandle handle, QPointF translation, const QRectF& imageRect);
    void endResize() { resizeStartElement.reset(); }

private:
    void clearDrawing();
    void replaceElement(const VeskMarkupElement& element);
    // A move or handle drag: every step starts again from the element as the drag found it, so
    // the total translation applies once. Nothing happens on an empty picture or for an element
    // that is gone.
    void changeFromDragStart(const QUuid& id, std::optional<VeskMarkupElement>& dragStart, QPointF translation,
                             const QRectF& imageRect,
                             const std::function<VeskMarkupElement(const VeskMarkupElement&, double, double)>& change);
};

} // namespace vesk
