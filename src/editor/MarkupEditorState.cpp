#include "editor/MarkupEditorState.h"

namespace vesk {

void MarkupEditorState::commitElement(const VeskMarkupElement& element)
{
    elements.append(element);
    redoStack.clear();
}

std::optional<VeskMarkupElement> MarkupEditorState::element(const QUuid& id) const
{
    for (const VeskMarkupElement& candidate : elements) {
        if (candidate.id == id)
            return candidate;
    }
    return std::nullopt;
}

std::optional<VeskMarkupElement> MarkupEditorState::selectedElement() const
{
    return selectedElementID ? element(*selectedElementID) : std::nullopt;
}

void MarkupEditorState::replaceElement(const VeskMarkupElement& replacement)
{
    for (VeskMarkupElement& candidate : elements) {
        if (candidate.id == replacement.id) {
            candidate = replacement;
            return;
        }
    }
}

void MarkupEditorState::clearDrawing()
{
    activeStart.reset();
    activeEnd.reset();
    activePoints.clear();
}

void MarkupEditorState::selectTool(VeskMarkupTool newTool)
{
    if (inlineTextEditing)
        commitInlineText();
    tool = newTool;
    textPlacementArmed = newTool == VeskMarkupTool::Text;
    selectedElementID.reset();
    clearDrawing();
}

void MarkupEditorState::undo()
{
    if (elements.isEmpty())
        return;
    redoStack.append(elements.takeLast());
    selectedElementID.reset();
}

void MarkupEditorState::redo()
{
    if (redoStack.isEmpty())
        return;
    elements.append(redoStack.takeLast());
    selectedElementID.reset();
}

void MarkupEditorState::deleteSelected()
{
    if (!selectedElementID)
        return;
    for (qsizetype i = 0; i < elements.size(); ++i) {
        if (elements[i].id == *selectedElementID) {
            redoStack = {elements.takeAt(i)};
            selectedElementID.reset();
            clearDrawing();
            return;
        }
    }
}

void MarkupEditorState::clearMarkup()
{
    elements.clear();
    redoStack.clear();
    selectedElementID.reset();
    clearDrawing();
}

QList<VeskMarkupElement> MarkupEditorState::elementsForApply()
{
    // Text typed into an open field is what the user sees on the picture: hand it over too.
    if (inlineTextEditing)
        commitInlineText();
    return elements;
}

void MarkupEditorState::handleDragChanged(QPointF location, QPointF translation, const QRectF& imageRect)
{
    const QPointF q = normalizedPoint(location, imageRect);
    if (!dragMode) {
        if (const std::optional<VeskMarkupElement> hit = hitElement(elements, q, imageRect.size())) {
            selectedElementID = hit->id;
            moveStartElement = *hit;
            dragMode = DragMode::moving(hit->id);
        } else {
            selectedElementID.reset();
            if (tool != VeskMarkupTool::Text || textPlacementArmed) {
                dragMode = DragMode::drawing();
                activeStart = q;
                activeEnd = q;
                activePoints = {q};
            } else {
                clearDrawing();
                return;
            }
        }
    }

    if (dragMode->kind == DragMode::Kind::Moving) {
        if (!moveStartElement || !element(dragMode->movingID))
            return;
        const double w = imageRect.width();
        const double h = imageRect.height();
        if (w > 0 && h > 0)
            replaceElement(movedElement(*moveStartElement, translation.x() / w, translation.y() / h));
        return;
    }
    if (tool == VeskMarkupTool::Freehand || tool == VeskMarkupTool::Highlighter)
        activePoints.append(q);
    else
        activeEnd = q;
}

void MarkupEditorState::handleDragEnded(QPointF location, const QRectF& imageRect)
{
    if (dragMode && dragMode->kind == DragMode::Kind::Drawing) {
        const QPointF q = normalizedPoint(location, imageRect);
        if (activeStart) {
            const QPointF s = *activeStart;
            switch (tool) {
            case VeskMarkupTool::Freehand:
            case VeskMarkupTool::Highlighter:
                if (!activePoints.isEmpty()) {
                    VeskMarkupElement stroke = makeMarkupElement(tool, strokeColor, strokeWidth);
                    stroke.points = activePoints;
                    stroke.points.append(q);
                    commitElement(stroke);
                }
                break;
            case VeskMarkupTool::Circle: {
                VeskMarkupElement circle = makeMarkupElement(tool, strokeColor, strokeWidth);
                circle.start = s;
                circle.end = squaredCircleEnd(s, q);
                commitElement(circle);
                break;
            }
            case VeskMarkupTool::Text:
                // A new placement while a field is open keeps what was typed there.
                if (inlineTextEditing)
                    commitInlineText();
                pendingTextPoint = q;
                textDraft.clear();
                inlineTextEditing = true;
                inlineTextFocused = true;
                textPlacementArmed = true;
                break;
            case VeskMarkupTool::Arrow:
            case VeskMarkupTool::Line:
            case VeskMarkupTool::Rectangle:
            case VeskMarkupTool::Ellipse: {
                VeskMarkupElement shape = makeMarkupElement(tool, strokeColor, strokeWidth);
                shape.start = s;
                shape.end = q;
                commitElement(shape);
                break;
            }
            }
        }
    }
    clearDrawing();
    dragMode.reset();
    moveStartElement.reset();
}

std::optional<VeskMarkupElement> MarkupEditorState::activePreviewElement() const
{
    if (!activeStart)
        return std::nullopt;
    VeskMarkupElement preview = makeMarkupElement(tool, strokeColor, strokeWidth);
    switch (tool) {
    case VeskMarkupTool::Freehand:
    case VeskMarkupTool::Highlighter:
        if (activePoints.isEmpty())
            return std::nullopt;
        preview.points = activePoints;
        return preview;
    case VeskMarkupTool::Text:
        return std::nullopt;
    default:
        if (!activeEnd)
            return std::nullopt;
        preview.start = activeStart;
        preview.end = activeEnd;
        return preview;
    }
}

void MarkupEditorState::commitInlineText()
{
    const QString trimmed = textDraft.trimmed();
    if (!pendingTextPoint) {
        cancelInlineText();
        return;
    }
    if (!trimmed.isEmpty()) {
        VeskMarkupElement text = makeMarkupElement(VeskMarkupTool::Text, strokeColor, strokeWidth);
        text.start = pendingTextPoint;
        text.text = trimmed;
        commitElement(text);
        selectedElementID = text.id;
    }
    cancelInlineText();
}

void MarkupEditorState::cancelInlineText()
{
    textDraft.clear();
    pendingTextPoint.reset();
    inlineTextEditing = false;
    inlineTextFocused = false;
    textPlacementArmed = false;
    clearDrawing();
}

void MarkupEditorState::changeFromDragStart(const QUuid& id, std::optional<VeskMarkupElement>& dragStart,
                                            QPointF translation, const QRectF& imageRect,
                                            const std::function<VeskMarkupElement(const VeskMarkupElement&, double, double)>& change)
{
    const double w = imageRect.width();
    const double h = imageRect.height();
    if (!(w > 0) || !(h > 0))
        return;
    const std::optional<VeskMarkupElement> current = element(id);
    if (!current)
        return;
    if (!dragStart)
        dragStart = *current;
    replaceElement(change(*dragStart, translation.x() / w, translation.y() / h));
    selectedElementID = id;
}

void MarkupEditorState::moveElement(const QUuid& id, QPointF translation, const QRectF& imageRect)
{
    changeFromDragStart(id, moveStartElement, translation, imageRect, movedElement);
}

void MarkupEditorState::resizeElement(const QUuid& id, ResizeHandle handle, QPointF translation, const QRectF& imageRect)
{
    changeFromDragStart(id, resizeStartElement, translation, imageRect,
                        [handle](const VeskMarkupElement& base, double dx, double dy) { return resized(base, handle, dx, dy); });
}

} // namespace vesk
