#include "editor/MarkupPainting.h"
#include "imageeditor/MarkupCanvas.h"
#include "imageeditor/VeskMarkupEditor.h"

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

class MarkupSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QImage picture(800, 400, QImage::Format_RGB32);
        picture.fill(Qt::gray);
        sheet = std::make_unique<VeskMarkupEditor>(picture);
        sheet->resize(1200, 800);
        sheet->show();
        QCoreApplication::processEvents();
        canvas = sheet->canvas();
        image = canvas->imageRect();
    }

    QPushButton* button(const char* name) const { return sheet->findChild<QPushButton*>(QString::fromLatin1(name)); }

    QPoint at(double x, double y) const
    {
        return QPointF(image.left() + x * image.width(), image.top() + y * image.height()).toPoint();
    }

    void drag(QPoint from, QPoint to) const
    {
        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
        QTest::mouseMove(canvas, (from + to) / 2);
        QTest::mouseMove(canvas, to);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
    }

    MarkupEditorState& state() const { return sheet->state(); }

    std::unique_ptr<VeskMarkupEditor> sheet;
    MarkupCanvas* canvas = nullptr;
    QRectF image;
};

} // namespace

TEST_F(MarkupSheetTest, HistoryButtonsFollowTheElementList)
{
    EXPECT_FALSE(button("markupUndo")->isEnabled());
    EXPECT_FALSE(button("markupRedo")->isEnabled());
    EXPECT_FALSE(button("markupDeleteSelected")->isEnabled());
    EXPECT_FALSE(button("markupClear")->isEnabled());

    button("markupTool-rectangle")->click();
    drag(at(0.1, 0.1), at(0.3, 0.4));
    ASSERT_EQ(state().elements.size(), 1);
    EXPECT_EQ(state().elements[0].kind, VeskMarkupTool::Rectangle);
    EXPECT_TRUE(button("markupUndo")->isEnabled());
    EXPECT_TRUE(button("markupClear")->isEnabled());

    // A click on it selects it; Delete Selected takes it away, Redo brings it back.
    QTest::mouseClick(canvas, Qt::LeftButton, {}, at(0.2, 0.2));
    EXPECT_EQ(state().selectedElementID, state().elements[0].id);
    EXPECT_TRUE(button("markupDeleteSelected")->isEnabled());
    button("markupDeleteSelected")->click();
    EXPECT_TRUE(state().elements.isEmpty());
    EXPECT_TRUE(button("markupRedo")->isEnabled());
    button("markupRedo")->click();
    EXPECT_EQ(state().elements.size(), 1);
    EXPECT_FALSE(button("markupRedo")->isEnabled());

    // Ctrl+Z undoes, Shift+Ctrl+Z redoes.
    QTest::keyClick(sheet.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(state().elements.isEmpty());
    EXPECT_TRUE(button("markupRedo")->isEnabled());
    QTest::keyClick(sheet.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(state().elements.size(), 1);
    QTest::mouseClick(canvas, Qt::LeftButton, {}, at(0.2, 0.2));
    QTest::keyClick(sheet.get(), Qt::Key_Delete);
    EXPECT_TRUE(state().elements.isEmpty());
    button("markupRedo")->click();

    button("markupClear")->click();
    EXPECT_FALSE(button("markupUndo")->isEnabled());
    EXPECT_FALSE(button("markupRedo")->isEnabled());
}

TEST_F(MarkupSheetTest, WidthSliderTakesWholePointsForNewElementsOnly)
{
    auto* label = sheet->findChild<QLabel*>(QStringLiteral("markupWidthValue"));
    EXPECT_EQ(label->text(), QStringLiteral("5 pt"));
    drag(at(0.1, 0.5), at(0.5, 0.5));
    sheet->findChild<QSlider*>(QStringLiteral("markupWidthSlider"))->setValue(12);
    EXPECT_EQ(label->text(), QStringLiteral("12 pt"));
    EXPECT_EQ(state().elements[0].lineWidth, 5);
    drag(at(0.1, 0.8), at(0.5, 0.8));
    EXPECT_EQ(state().elements[1].lineWidth, 12);
}

TEST_F(MarkupSheetTest, InlineTextIsTypedCommittedOrDiscarded)
{
    button("markupTool-text")->click();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, at(0.5, 0.5));
    QLineEdit* field = canvas->inlineTextField();
    ASSERT_TRUE(field->isVisible());
    // Typed in the face and size the committed text is drawn in.
    field->ensurePolished();
    const QFont committed = markupTextFont(MarkupMetrics::onCanvas().textSize(state().strokeWidth));
    EXPECT_EQ(field->font().pixelSize(), committed.pixelSize());
    EXPECT_EQ(field->font().weight(), committed.weight());
    EXPECT_EQ(QFontInfo(field->font()).family(), QFontInfo(committed).family());
    QTest::keyClicks(field, QStringLiteral(" Look "));
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_EQ(state().elements.size(), 1);
    EXPECT_EQ(state().elements[0].text, QStringLiteral("Look"));
    EXPECT_FALSE(field->isVisible());

    // Placement is disarmed after a commit: a press on empty canvas opens nothing.
    QTest::mouseClick(canvas, Qt::LeftButton, {}, at(0.1, 0.9));
    EXPECT_FALSE(field->isVisible());

    button("markupTool-text")->click();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, at(0.1, 0.9));
    QTest::keyClicks(field, QStringLiteral("never"));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(field->isVisible());
    EXPECT_EQ(state().elements.size(), 1);

    // Apply Markup with text still in the field hands it over.
    button("markupTool-text")->click();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, at(0.1, 0.1));
    QTest::keyClicks(field, QStringLiteral("kept"));
    QSignalSpy applied(sheet.get(), &VeskMarkupEditor::applied);
    button("markupApply")->click();
    ASSERT_EQ(applied.size(), 1);
    const auto elements = applied.first().first().value<QList<VeskMarkupElement>>();
    ASSERT_EQ(elements.size(), 2);
    EXPECT_EQ(elements[1].text, QStringLiteral("kept"));
}

TEST_F(MarkupSheetTest, HandlesReshapeAndElementsMoveUnderThePointer)
{
    // A box dragged out from bottom-right to top-left.
    button("markupTool-ellipse")->click();
    drag(at(0.6, 0.6), at(0.2, 0.2));
    QTest::mouseClick(canvas, Qt::LeftButton, {}, at(0.4, 0.4));
    ASSERT_TRUE(state().selectedElementID);

    // Its top-left handle moves its top-left corner.
    drag(at(0.2, 0.2), at(0.1, 0.1));
    const VeskMarkupElement reshaped = state().elements[0];
    EXPECT_NEAR(reshaped.start->x(), 0.1, 0.01);
    EXPECT_NEAR(reshaped.start->y(), 0.1, 0.01);
    EXPECT_NEAR(reshaped.end->x(), 0.6, 0.01);
    EXPECT_FALSE(state().resizeStartElement);

    // Dragging its inside moves it, clamped to the picture.
    drag(at(0.4, 0.4), at(0.95, 0.4));
    EXPECT_NEAR(state().elements[0].end->x(), 1.0, 1e-9);
    EXPECT_NEAR(state().elements[0].start->x(), 0.5, 0.01);
    EXPECT_EQ(state().elements.size(), 1);
}
