#include "editor/MarkupEditorState.h"
#include "editor/MarkupGeometry.h"

#include <gtest/gtest.h>

using namespace vesk;

namespace {

VeskMarkupElement shape(VeskMarkupTool kind, QPointF start, QPointF end)
{
    VeskMarkupElement element = makeMarkupElement(kind, Qt::red, 5);
    element.start = start;
    element.end = end;
    return element;
}

VeskMarkupElement textAt(QPointF start, const QString& text = QStringLiteral("note"))
{
    VeskMarkupElement element = makeMarkupElement(VeskMarkupTool::Text, Qt::red, 5);
    element.start = start;
    element.text = text;
    return element;
}

void expectPoint(const std::optional<QPointF>& actual, QPointF expected)
{
    ASSERT_TRUE(actual);
    EXPECT_NEAR(actual->x(), expected.x(), 1e-9);
    EXPECT_NEAR(actual->y(), expected.y(), 1e-9);
}

// A picture shown 1000 × 500 points at (50, 20).
const QRectF kImage(50, 20, 1000, 500);

QPointF at(double x, double y)
{
    return QPointF(kImage.left() + x * kImage.width(), kImage.top() + y * kImage.height());
}

// A press, moves through `path` and a release, as the canvas delivers them.
void drag(MarkupEditorState& state, QList<QPointF> path)
{
    const QPointF origin = path.first();
    for (const QPointF& point : path)
        state.handleDragChanged(point, point - origin, kImage);
    state.handleDragEnded(path.last(), kImage);
}

} // namespace

TEST(MarkupModel, ToolsAndUnitGeometry)
{
    for (const VeskMarkupTool tool : kAllMarkupTools)
        EXPECT_EQ(markupToolFromRawValue(markupToolRawValue(tool)), tool);
    EXPECT_FALSE(markupToolFromRawValue(QStringLiteral("Arrow")));
    EXPECT_EQ(markupToolTitle(VeskMarkupTool::Freehand), QStringLiteral("Draw"));

    EXPECT_EQ(normalizedPoint({300, 300}, QRectF(10, 10, 0, 100)), QPointF(0, 0));
    EXPECT_EQ(normalizedPoint({0, 700}, kImage), QPointF(0, 1));
    EXPECT_EQ(normalizedPoint({550, 270}, kImage), QPointF(0.5, 0.5));

    EXPECT_EQ(unitBounds(textAt({0.5, 0.5}, QStringLiteral("a much longer text than fits"))),
              QRectF(0.5, 0.5, 0.24, 0.1));
    const QRectF line = unitBounds(shape(VeskMarkupTool::Line, {0.8, 0.2}, {0.2, 0.6}));
    EXPECT_NEAR(line.left(), 0.2, 1e-12);
    EXPECT_NEAR(line.top(), 0.2, 1e-12);
    EXPECT_NEAR(line.width(), 0.6, 1e-12);
    EXPECT_NEAR(line.height(), 0.4, 1e-12);
    EXPECT_EQ(unitBounds(makeMarkupElement(VeskMarkupTool::Freehand, Qt::red, 5)), QRectF(0, 0, 0, 0));
}

TEST(MarkupModel, HitTestingUsesTheToleranceAndPrefersTheTopmost)
{
    EXPECT_DOUBLE_EQ(markupHitTolerance({1000, 500}), 0.015);
    EXPECT_DOUBLE_EQ(markupHitTolerance({400, 300}), 0.035);

    const QSizeF size(1000, 500);
    const VeskMarkupElement line = shape(VeskMarkupTool::Line, {0.1, 0.5}, {0.9, 0.5});
    EXPECT_TRUE(hitElement({line}, {0.5, 0.5 + 1.5 * 0.015 - 1e-9}, size));
    EXPECT_FALSE(hitElement({line}, {0.5, 0.5 + 1.5 * 0.015 + 1e-6}, size));
    // Beyond the end the distance is to the end point.
    EXPECT_FALSE(hitElement({line}, {0.93, 0.5}, size));

    const VeskMarkupElement box = shape(VeskMarkupTool::Rectangle, {0.2, 0.2}, {0.4, 0.4});
    EXPECT_TRUE(hitElement({box}, {0.2 - 0.015, 0.3}, size));
    EXPECT_FALSE(hitElement({box}, {0.4 + 0.015, 0.3}, size));   // right edge excluded
    EXPECT_FALSE(hitElement({box}, {0.2 - 0.016, 0.3}, size));

    const VeskMarkupElement ellipse = shape(VeskMarkupTool::Ellipse, {0.1, 0.1}, {0.9, 0.9});
    EXPECT_EQ(hitElement({ellipse}, {0.5, 0.5}, size)->id, ellipse.id);

    const VeskMarkupElement later = shape(VeskMarkupTool::Rectangle, {0.3, 0.3}, {0.5, 0.5});
    EXPECT_EQ(hitElement({box, later}, {0.35, 0.35}, size)->id, later.id);

    const VeskMarkupElement text = textAt({0.5, 0.5});
    EXPECT_TRUE(hitElement({text}, {0.7, 0.58}, size));
    EXPECT_FALSE(hitElement({text}, {0.73, 0.5}, size));

    VeskMarkupElement stroke = makeMarkupElement(VeskMarkupTool::Freehand, Qt::red, 5);
    stroke.points = {{0.5, 0.5}, {0.6, 0.6}, {0.7, 0.7}};
    EXPECT_FALSE(hitElement({stroke}, {0.6, 0.6}, size));
}

TEST(MarkupModel, MovesStayOnThePicture)
{
    const VeskMarkupElement moved = movedElement(shape(VeskMarkupTool::Rectangle, {0.7, 0.7}, {0.9, 0.9}), 0.3, -0.8);
    expectPoint(moved.start, {0.8, 0.0});
    expectPoint(moved.end, {1.0, 0.2});

    // A text whose nominal box sticks out is pulled back by any move.
    expectPoint(movedElement(textAt({0.9, 0.95}), 0, 0).start, {0.76, 0.9});

    EXPECT_EQ(squaredCircleEnd({0.2, 0.2}, {0.5, 0.3}), QPointF(0.3, 0.3));
    EXPECT_EQ(squaredCircleEnd({0.2, 0.2}, {0.1, 0.5}), QPointF(0.1, 0.3));
}

TEST(MarkupModel, TextFieldAndSelectionFramePlacement)
{
    EXPECT_EQ(inlineTextCentre({1.0, 0.5}, {600, 400}), QPointF(472, 200));
    EXPECT_EQ(inlineTextCentre({0.0, 0.0}, {600, 400}), QPointF(128, 18));
    EXPECT_EQ(inlineTextCentre({0.5, 1.0}, {200, 400}).x(), 72);

    EXPECT_EQ(selectionOverlayFrame(textAt({0.5, 0.5}), {100, 100}), QRectF(50, 50, 24, 18));
    EXPECT_EQ(selectionOverlayFrame(shape(VeskMarkupTool::Line, {0.5, 0.5}, {0.5, 0.5}), {100, 100}),
              QRectF(50, 50, 18, 18));
}

TEST(MarkupModel, ResizedMovesTheCornerUnderEachHandle)
{
    // Drawn from bottom-right to top-left: every handle still moves the corner it is drawn on.
    const VeskMarkupElement box = shape(VeskMarkupTool::Rectangle, {0.6, 0.6}, {0.2, 0.2});
    const VeskMarkupElement topLeft = resized(box, ResizeHandle::TopLeft, -0.1, -0.05);
    expectPoint(topLeft.start, {0.1, 0.15});
    expectPoint(topLeft.end, {0.6, 0.6});
    const VeskMarkupElement topRight = resized(box, ResizeHandle::TopRight, 0.1, -0.1);
    expectPoint(topRight.start, {0.2, 0.1});
    expectPoint(topRight.end, {0.7, 0.6});
    const VeskMarkupElement bottomLeft = resized(box, ResizeHandle::BottomLeft, -0.1, 0.1);
    expectPoint(bottomLeft.start, {0.1, 0.2});
    expectPoint(bottomLeft.end, {0.6, 0.7});
    const VeskMarkupElement bottomRight = resized(box, ResizeHandle::BottomRight, 5, 5);
    expectPoint(bottomRight.end, {1, 1});
    EXPECT_EQ(resized(box, ResizeHandle::Start, 0.1, 0.1), normalizedBox(box));

    // Past the opposite corner the corners cross and are not swapped.
    const VeskMarkupElement crossed = resized(shape(VeskMarkupTool::Ellipse, {0.2, 0.2}, {0.4, 0.4}),
                                              ResizeHandle::TopLeft, 0.4, 0.4);
    expectPoint(crossed.start, {0.6, 0.6});
    expectPoint(crossed.end, {0.4, 0.4});

    const VeskMarkupElement arrow = shape(VeskMarkupTool::Arrow, {0.1, 0.1}, {0.5, 0.5});
    expectPoint(resized(arrow, ResizeHandle::Start, -0.5, 0.2).start, {0.0, 0.3});
    expectPoint(resized(arrow, ResizeHandle::End, 0.1, 0.9).end, {0.6, 1.0});
    EXPECT_EQ(resized(arrow, ResizeHandle::TopLeft, 0.1, 0.1), arrow);
}

TEST(MarkupModel, ResizedCircleStaysSquareAboutTheOppositeCorner)
{
    const VeskMarkupElement circle = shape(VeskMarkupTool::Circle, {0.2, 0.2}, {0.4, 0.4});
    const VeskMarkupElement grown = resized(circle, ResizeHandle::BottomRight, 0.3, 0.1);
    expectPoint(grown.start, {0.2, 0.2});
    expectPoint(grown.end, {0.5, 0.5});
    const VeskMarkupElement topLeft = resized(circle, ResizeHandle::TopLeft, -0.15, 0.05);
    expectPoint(topLeft.end, {0.4, 0.4});
    expectPoint(topLeft.start, {0.25, 0.25});
    const VeskMarkupElement topRight = resized(circle, ResizeHandle::TopRight, 0.2, -0.05);
    expectPoint(topRight.start, {0.2, 0.15});
    expectPoint(topRight.end, {0.45, 0.4});
    const VeskMarkupElement bottomLeft = resized(circle, ResizeHandle::BottomLeft, -0.9, 0.9);
    expectPoint(bottomLeft.start, {0.0, 0.2});
    expectPoint(bottomLeft.end, {0.4, 0.6});
}

TEST(MarkupModel, ResizedTextScalesItsWidthWithinLimits)
{
    const VeskMarkupElement text = textAt({0.3, 0.3});
    EXPECT_DOUBLE_EQ(resized(text, ResizeHandle::TextScale, 0.25, 0.1).lineWidth, 11);
    EXPECT_DOUBLE_EQ(resized(text, ResizeHandle::TextScale, 1.0, 0).lineWidth, 24);
    EXPECT_DOUBLE_EQ(resized(text, ResizeHandle::TextScale, 0.05, -0.5).lineWidth, 2);
    EXPECT_EQ(resized(text, ResizeHandle::TopLeft, 0.5, 0.5), text);
}

TEST(MarkupEditorState, UndoRedoDeleteAndClear)
{
    MarkupEditorState state;
    const VeskMarkupElement a = shape(VeskMarkupTool::Rectangle, {0.1, 0.1}, {0.2, 0.2});
    const VeskMarkupElement b = shape(VeskMarkupTool::Line, {0.5, 0.5}, {0.6, 0.6});
    state.commitElement(a);
    state.commitElement(b);
    state.undo();
    state.undo();
    EXPECT_FALSE(state.canUndo());
    state.redo();
    EXPECT_EQ(state.elements, (QList<VeskMarkupElement>{a}));
    state.redo();
    EXPECT_EQ(state.elements, (QList<VeskMarkupElement>{a, b}));

    // Committing after an undo leaves nothing to redo.
    state.undo();
    state.commitElement(shape(VeskMarkupTool::Arrow, {0, 0}, {1, 1}));
    EXPECT_FALSE(state.canRedo());
    state.redo();
    EXPECT_EQ(state.elements.size(), 2);

    // A deleted element comes back on top, and is the only thing redo can bring back.
    state.undo();
    state.selectedElementID = a.id;
    state.commitElement(b);
    state.deleteSelected();
    EXPECT_EQ(state.elements, (QList<VeskMarkupElement>{b}));
    EXPECT_EQ(state.redoStack, (QList<VeskMarkupElement>{a}));
    EXPECT_FALSE(state.selectedElementID);
    state.redo();
    EXPECT_EQ(state.elements, (QList<VeskMarkupElement>{b, a}));
    EXPECT_FALSE(state.canRedo());

    state.undo();
    state.clearMarkup();
    EXPECT_FALSE(state.canUndo());
    EXPECT_FALSE(state.canRedo());
}

TEST(MarkupEditorState, DrawingGesturesMakeOneElementPerTool)
{
    MarkupEditorState state;
    drag(state, {at(0.2, 0.2), at(0.3, 0.25), at(0.5, 0.3)});
    ASSERT_EQ(state.elements.size(), 1);
    EXPECT_EQ(state.elements[0].kind, VeskMarkupTool::Arrow);
    expectPoint(state.elements[0].end, {0.5, 0.3});
    EXPECT_FALSE(state.dragMode);
    EXPECT_FALSE(state.activeStart);

    state.selectTool(VeskMarkupTool::Circle);
    drag(state, {at(0.6, 0.6), at(0.7, 0.9)});
    expectPoint(state.elements.last().end, {0.7, 0.7});

    // A click holds the press point twice, then the release.
    state.selectTool(VeskMarkupTool::Freehand);
    drag(state, {at(0.9, 0.1)});
    EXPECT_EQ(state.elements.last().points.size(), 3);

    state.selectTool(VeskMarkupTool::Line);
    drag(state, {at(0.05, 0.9)});
    EXPECT_EQ(state.elements.last().start, state.elements.last().end);

    // While drawing, the preview follows the pointer and the circle is not squared yet.
    state.selectTool(VeskMarkupTool::Circle);
    state.handleDragChanged(at(0.05, 0.05), {}, kImage);
    state.handleDragChanged(at(0.1, 0.2), {}, kImage);
    expectPoint(state.activePreviewElement()->end, {0.1, 0.2});
    state.handleDragEnded(at(0.1, 0.2), kImage);
    EXPECT_FALSE(state.activePreviewElement());
}

TEST(MarkupEditorState, PressingAnElementSelectsAndMovesItWithAnyTool)
{
    MarkupEditorState state;
    state.commitElement(shape(VeskMarkupTool::Rectangle, {0.4, 0.4}, {0.6, 0.6}));
    state.selectTool(VeskMarkupTool::Text);
    drag(state, {at(0.5, 0.5), at(0.55, 0.5), at(0.6, 0.45)});
    ASSERT_EQ(state.elements.size(), 1);
    EXPECT_EQ(state.selectedElementID, state.elements[0].id);
    expectPoint(state.elements[0].start, {0.5, 0.35});
    EXPECT_FALSE(state.inlineTextEditing);

    // The Text tool after a commit: a press on empty canvas only clears the selection.
    state.textPlacementArmed = false;
    drag(state, {at(0.1, 0.9)});
    EXPECT_FALSE(state.selectedElementID);
    EXPECT_FALSE(state.inlineTextEditing);
    EXPECT_EQ(state.elements.size(), 1);
}

TEST(MarkupEditorState, InlineTextCommitsCancelsAndIsNeverSilentlyLost)
{
    MarkupEditorState state;
    state.selectTool(VeskMarkupTool::Text);
    drag(state, {at(0.3, 0.3)});
    ASSERT_TRUE(state.inlineTextEditing);
    expectPoint(state.pendingTextPoint, {0.3, 0.3});
    state.textDraft = QStringLiteral("  word \n");
    state.commitInlineText();
    ASSERT_EQ(state.elements.size(), 1);
    EXPECT_EQ(state.elements[0].text, QStringLiteral("word"));
    EXPECT_EQ(state.selectedElementID, state.elements[0].id);
    EXPECT_FALSE(state.inlineTextEditing);
    EXPECT_FALSE(state.textPlacementArmed);

    // Blank text adds nothing; Escape discards whatever was typed.
    state.selectTool(VeskMarkupTool::Text);
    drag(state, {at(0.8, 0.8)});
    state.textDraft = QStringLiteral("  \n ");
    state.commitInlineText();
    state.selectTool(VeskMarkupTool::Text);
    drag(state, {at(0.8, 0.8)});
    state.textDraft = QStringLiteral("gone");
    state.cancelInlineText();
    EXPECT_EQ(state.elements.size(), 1);

    // A new placement keeps what was typed in the open field.
    state.selectTool(VeskMarkupTool::Text);
    drag(state, {at(0.1, 0.7)});
    state.textDraft = QStringLiteral("first");
    drag(state, {at(0.6, 0.1)});
    EXPECT_EQ(state.elements.last().text, QStringLiteral("first"));
    EXPECT_TRUE(state.inlineTextEditing);
    expectPoint(state.pendingTextPoint, {0.6, 0.1});

    // So does another tool (with the colour of the moment) and Apply Markup.
    state.textDraft = QStringLiteral("second");
    state.strokeColor = Qt::blue;
    state.selectTool(VeskMarkupTool::Line);
    EXPECT_EQ(state.elements.last().text, QStringLiteral("second"));
    EXPECT_EQ(state.elements.last().color, QColor(Qt::blue));
    state.selectTool(VeskMarkupTool::Text);
    drag(state, {at(0.4, 0.9)});
    state.textDraft = QStringLiteral("third");
    const QList<VeskMarkupElement> applied = state.elementsForApply();
    EXPECT_EQ(applied.last().text, QStringLiteral("third"));
    EXPECT_EQ(applied.size(), 4);
}

TEST(MarkupEditorState, HandleAndTextDragsReshapeFromTheDragStart)
{
    MarkupEditorState state;
    const VeskMarkupElement box = shape(VeskMarkupTool::Rectangle, {0.2, 0.2}, {0.4, 0.4});
    state.commitElement(box);
    state.resizeElement(box.id, ResizeHandle::BottomRight, {100, 50}, kImage);
    state.resizeElement(box.id, ResizeHandle::BottomRight, {200, 100}, kImage);
    expectPoint(state.elements[0].end, {0.6, 0.6});
    EXPECT_EQ(state.selectedElementID, box.id);
    state.endResize();
    EXPECT_FALSE(state.resizeStartElement);

    // A zero-size picture and a vanished element leave everything as it is.
    const QList<VeskMarkupElement> before = state.elements;
    state.resizeElement(box.id, ResizeHandle::TopLeft, {10, 10}, QRectF(0, 0, 0, 100));
    state.moveElement(QUuid::createUuid(), {10, 10}, kImage);
    EXPECT_EQ(state.elements, before);

    const VeskMarkupElement text = textAt({0.1, 0.1});
    state.commitElement(text);
    state.moveElement(text.id, {100, 100}, kImage);
    state.moveElement(text.id, {300, 50}, kImage);
    expectPoint(state.element(text.id)->start, {0.4, 0.2});
    state.endMove();
    EXPECT_FALSE(state.moveStartElement);
    EXPECT_EQ(state.redoStack.size(), 0);
}
