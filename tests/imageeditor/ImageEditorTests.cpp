#include "common/TestEnvironment.h"
#include "editor/ImageEditSession.h"
#include "imageeditor/ImageEditorCanvas.h"
#include "imageeditor/ImageEditorControls.h"
#include "imageeditor/VeskCropOverlay.h"
#include "imageeditor/VeskImageEditor.h"
#include "imageeditor/VeskMarkupEditor.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

// Left half red, right half blue, 400 × 200.
QString writePicture(const QString& name)
{
    const QString path = QDir(test::makeTempDirectory(QStringLiteral("editor"))).filePath(name);
    QImage image(400, 200, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 200, 200, Qt::red);
    painter.fillRect(200, 0, 200, 200, Qt::blue);
    painter.end();
    EXPECT_TRUE(image.save(path));
    return path;
}

VeskItem pictureItem(const QString& path)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = QStringLiteral("Picture");
    item.kind = VeskKind::Image;
    item.filePath = path;
    return item;
}

bool isReddish(QRgb pixel)
{
    return qRed(pixel) > 180 && qBlue(pixel) < 90;
}

class ImageEditorTest : public ::testing::Test {
protected:
    // An editor on a fresh picture, shown and loaded; `answer` is what the store would say.
    std::unique_ptr<VeskImageEditor> openEditor(const QString& path, bool answer = true)
    {
        auto editor = std::make_unique<VeskImageEditor>(pictureItem(path), [this, answer](const QByteArray& data,
                                                                                          const QString& extension,
                                                                                          VeskImageEditor::SaveAnswer said) {
            saved.append({data, extension});
            said(answer);
        });
        editor->session().setEncodeDelay(0);
        editor->resize(1100, 700);
        editor->show();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return editor->session().loadState() != ImageEditSession::LoadState::Loading; }, 10000));
        return editor;
    }

    QList<EncodedImage> saved;
};

} // namespace

TEST_F(ImageEditorTest, OrientationCropAndColourControlsChangeTheSettingsAndTheCanvas)
{
    auto editor = openEditor(writePicture(QStringLiteral("halves.png")));
    ImageEditorControls* controls = editor->controls();
    EXPECT_TRUE(editor->saveButton()->isEnabled());
    EXPECT_TRUE(editor->markupButton()->isEnabled());
    EXPECT_FALSE(controls->resetCropButton()->isEnabled());

    // Right turns clockwise: the left (red) half comes to the top.
    QTest::mouseClick(controls->rightButton(), Qt::LeftButton);
    EXPECT_EQ(editor->settings().quarterTurns, 1);
    const QImage turned = editor->canvas()->picture();
    ASSERT_EQ(turned.size(), QSize(200, 400));
    EXPECT_TRUE(isReddish(turned.pixel(100, 20)));
    QTest::mouseClick(controls->leftButton(), Qt::LeftButton);
    QTest::mouseClick(controls->leftButton(), Qt::LeftButton);
    EXPECT_EQ(editor->settings().quarterTurns, 3);
    controls->flipToggle()->click();
    EXPECT_TRUE(editor->settings().flippedHorizontally);

    controls->brightnessRow()->slider()->setValue(600);
    EXPECT_NEAR(editor->settings().colour.brightness, 0.1, 1e-9);
    EXPECT_EQ(controls->brightnessRow()->readout()->text(), QLocale().toString(0.1, 'f', 2));
    controls->saturationRow()->slider()->setValue(0);
    EXPECT_EQ(editor->settings().colour.saturation, 0);
    QTest::mouseClick(controls->brightnessRow()->resetButton(), Qt::LeftButton);
    EXPECT_EQ(editor->settings().colour.brightness, 0);

    // Dragging the left bar to the right crops; Reset Crop undoes it.
    VeskCropOverlay* overlay = editor->canvas()->overlay();
    const QRectF frame = overlay->imageFrame();
    const QPoint leftBar = QPointF(frame.left(), frame.center().y()).toPoint();
    QTest::mousePress(overlay, Qt::LeftButton, {}, leftBar);
    QTest::mouseMove(overlay, leftBar + QPoint(int(frame.width() / 4), 0));
    QTest::mouseRelease(overlay, Qt::LeftButton, {}, leftBar + QPoint(int(frame.width() / 4), 0));
    EXPECT_NEAR(editor->settings().crop.left, 0.25, 0.02);
    EXPECT_TRUE(controls->resetCropButton()->isEnabled());
    // The canvas keeps the whole picture under the frame; the crop shows only in the frame.
    EXPECT_EQ(editor->canvas()->picture().size(), QSize(200, 400));
    QTest::mouseClick(controls->resetCropButton(), Qt::LeftButton);
    EXPECT_TRUE(editor->settings().crop.isZero());
    EXPECT_FALSE(controls->resetCropButton()->isEnabled());
    EXPECT_TRUE(overlay->insets().isZero());

    // Reset All keeps the markup.
    EditSettings marked = editor->settings();
    VeskMarkupElement line = makeMarkupElement(VeskMarkupTool::Line, Qt::green, 5);
    line.start = QPointF(0, 0);
    line.end = QPointF(1, 1);
    marked.markup = {line};
    marked.crop.top = 0.2;
    editor->setSettings(marked);
    QTest::mouseClick(controls->resetAllButton(), Qt::LeftButton);
    EditSettings expected;
    expected.markup = {line};
    EXPECT_EQ(editor->settings(), expected);
}

TEST_F(ImageEditorTest, SaveHandsOverTheEncodedPictureAndCloses)
{
    const QString path = writePicture(QStringLiteral("halves.png"));
    auto editor = openEditor(path);
    EXPECT_NE(editor->controls()->originalSize()->text(), QStringLiteral("—"));
    EditSettings settings;
    settings.quarterTurns = 2;
    settings.crop.right = 0.5;
    editor->setSettings(settings);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->session().encodePending(); }, 10000));
    EXPECT_EQ(editor->controls()->editedSize()->text(),
              QLocale().formattedDataSize(editor->session().currentEncode()->data.size(), 1, QLocale::DataSizeSIFormat));

    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !saved.isEmpty(); }, 10000));
    EXPECT_EQ(saved.first(), *editedImageFile(path, settings));
    EXPECT_EQ(saved.first().extension, QStringLiteral("png"));
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    EXPECT_FALSE(editor->isVisible());
}

TEST_F(ImageEditorTest, AFailedSaveKeepsTheEditorOpenWithItsAlert)
{
    auto editor = openEditor(writePicture(QStringLiteral("halves.jpg")), false);
    editor->saveEditedVersion();
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor->saveAlert() != nullptr; }, 10000));
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved.first().extension, QStringLiteral("jpg"));
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(editor->isSaving());
    EXPECT_EQ(editor->saveError(), VeskImageEditor::kCouldNotSaveMessage);
    EXPECT_EQ(editor->saveAlert()->text(), QStringLiteral("Could Not Save Edited Version"));
    EXPECT_EQ(editor->saveAlert()->informativeText(), VeskImageEditor::kCouldNotSaveMessage);

    editor->saveAlert()->buttons().first()->click();
    EXPECT_FALSE(editor->saveError());
    EXPECT_TRUE(editor->saveButton()->isEnabled());
    EXPECT_TRUE(editor->isVisible());
}

// The store answers once the file is on the disk: until then the editor shows that it saves and
// takes no second Save; an answer that finds the editor gone changes nothing.
TEST_F(ImageEditorTest, SaveWaitsForTheStoresLaterAnswer)
{
    const struct {
        const char* name;
        std::optional<bool> answer; // none: the editor is closed and gone before the answer
        bool closed;
    } cases[] = {
        {"kept", true, true},
        {"not kept", false, false},
        {"gone before the answer", std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VeskImageEditor::SaveAnswer pending;
        int handed = 0;
        auto editor = std::make_unique<VeskImageEditor>(
            pictureItem(writePicture(QStringLiteral("halves.png"))),
            [&](const QByteArray&, const QString&, VeskImageEditor::SaveAnswer answer) {
                ++handed;
                pending = std::move(answer);
            });
        editor->session().setEncodeDelay(0);
        editor->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return editor->saveButton()->isEnabled(); }, 10000));
        editor->saveEditedVersion();
        ASSERT_TRUE(QTest::qWaitFor([&] { return bool(pending); }, 10000));
        EXPECT_TRUE(editor->isSaving());
        EXPECT_FALSE(editor->saveButton()->isEnabled());
        editor->saveEditedVersion();
        EXPECT_EQ(handed, 1) << "one save at a time";
        if (!c.answer) {
            editor.reset();
            pending(true);
            continue;
        }
        pending(*c.answer);
        EXPECT_FALSE(editor->isSaving());
        EXPECT_EQ(!editor->isVisible(), c.closed);
        EXPECT_EQ(editor->saveError().has_value(), !*c.answer);
    }
}

TEST_F(ImageEditorTest, AnUnreadablePictureDisablesSaveAndMarkup)
{
    auto editor = openEditor(QStringLiteral("/no/such/picture.png"));
    EXPECT_EQ(editor->canvas()->content(), ImageEditorCanvas::Content::Failed);
    EXPECT_FALSE(editor->saveButton()->isEnabled());
    EXPECT_FALSE(editor->markupButton()->isEnabled());
    EXPECT_EQ(editor->controls()->originalSize()->text(), QStringLiteral("—"));
    EXPECT_EQ(editor->controls()->editedSize()->text(), QStringLiteral("—"));
    editor->saveEditedVersion();
    EXPECT_EQ(editor->saveError(), VeskImageEditor::kCouldNotCreateMessage);
    EXPECT_TRUE(saved.isEmpty());
}

TEST_F(ImageEditorTest, MarkupIsAppliedReplacedAndKeptOnCancel)
{
    auto editor = openEditor(writePicture(QStringLiteral("halves.png")));
    QTest::mouseClick(editor->markupButton(), Qt::LeftButton);
    auto* markup = qobject_cast<VeskMarkupEditor*>(editor->markupSheet());
    ASSERT_TRUE(markup);
    VeskMarkupElement box = makeMarkupElement(VeskMarkupTool::Rectangle, Qt::red, 5);
    box.start = QPointF(0.1, 0.1);
    box.end = QPointF(0.4, 0.4);
    markup->state().commitElement(box);
    markup->findChild<QPushButton*>(QStringLiteral("markupApply"))->click();
    EXPECT_EQ(editor->settings().markup, QList<VeskMarkupElement>{box});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->markupSheet(); }, 2000));

    // A new sheet starts empty; Cancel keeps what was applied, Apply of nothing removes it.
    editor->openMarkup();
    markup = qobject_cast<VeskMarkupEditor*>(editor->markupSheet());
    ASSERT_TRUE(markup);
    EXPECT_TRUE(markup->state().elements.isEmpty());
    markup->state().commitElement(box);
    markup->findChild<QPushButton*>(QStringLiteral("markupCancel"))->click();
    EXPECT_EQ(editor->settings().markup.size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->markupSheet(); }, 2000));
    editor->openMarkup();
    markup = qobject_cast<VeskMarkupEditor*>(editor->markupSheet());
    markup->findChild<QPushButton*>(QStringLiteral("markupApply"))->click();
    EXPECT_TRUE(editor->settings().markup.isEmpty());
}
