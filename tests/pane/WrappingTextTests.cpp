#include "pane/WrappingText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

namespace vesk {
namespace {

const QString kText = QStringLiteral("alpha beta gamma\nsecond line here");

// A wide text of two paragraphs, each on one line, shown and focused.
class WrappingTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        text = std::make_unique<WrappingText>(kText, QFont(QStringLiteral("DejaVu Sans"), 11), Qt::black);
        text->resize(400, 100);
        text->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(text.get()));
        QApplication::clipboard()->clear();
    }

    // A point inside the first line, at x.
    QPoint onFirstLine(int x) const { return {x, text->fontMetrics().height() / 2}; }

    void send(QEvent::Type type, QPoint at, Qt::MouseButtons held)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, text->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(text.get(), &event);
    }

    void drag(QPoint from, QPoint to)
    {
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }

    std::unique_ptr<WrappingText> text;
};

TEST_F(WrappingTextTest, TheMouseSelectsCharactersWordsAndParagraphs)
{
    const QPoint belowTheEnd(1000, 1000);
    struct Case {
        const char* gesture;
        std::function<void()> act;
        QString selected;
    };
    const Case cases[] = {
        {"drag from the start to past the end",
            [&] { drag(onFirstLine(0), belowTheEnd); },
            QStringLiteral("alpha beta gamma\nsecond line here")},
        {"double click on a word", [this] { QTest::mouseDClick(text.get(), Qt::LeftButton, {}, onFirstLine(3)); },
            QStringLiteral("alpha")},
        {"double click, then drag on by words",
            [this] {
                QTest::mouseDClick(text.get(), Qt::LeftButton, {}, onFirstLine(3));
                const QPoint second(3, text->height() - 3);
                send(QEvent::MouseMove, second, Qt::LeftButton);
                send(QEvent::MouseButtonRelease, second, Qt::NoButton);
            },
            QStringLiteral("alpha beta gamma\nsecond")},
        {"triple click: the paragraph and its break",
            [this] {
                QTest::mouseDClick(text.get(), Qt::LeftButton, {}, onFirstLine(3));
                QTest::mouseClick(text.get(), Qt::LeftButton, {}, onFirstLine(3));
            },
            QStringLiteral("alpha beta gamma\n")},
        {"a click leaves nothing selected", [this] { QTest::mouseClick(text.get(), Qt::LeftButton, {}, onFirstLine(3)); },
            QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gesture);
        // Away from the last double click, so as not to make a triple one.
        QTest::mouseClick(text.get(), Qt::LeftButton, {}, QPoint(0, text->height() - 2));
        c.act();
        EXPECT_EQ(text->selectedText(), c.selected);
        QApplication::clipboard()->clear();
        QTest::keyClick(text.get(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), c.selected);
    }
}

TEST_F(WrappingTextTest, TheKeyboardMovesAndSelectsOnceFocused)
{
    struct Case {
        const char* keys;
        QList<std::pair<Qt::Key, Qt::KeyboardModifiers>> presses;
        QString selected;
    };
    const Case cases[] = {
        {"shift+right twice", {{Qt::Key_Right, Qt::ShiftModifier}, {Qt::Key_Right, Qt::ShiftModifier}}, QStringLiteral("al")},
        {"a word", {{Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier}}, QStringLiteral("alpha ")},
        {"to the end of the line", {{Qt::Key_End, Qt::ShiftModifier}}, QStringLiteral("alpha beta gamma")},
        {"a line down, past the break", {{Qt::Key_Down, Qt::ShiftModifier}}, QStringLiteral("alpha beta gamma\n")},
        {"to the end", {{Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier}}, kText},
        {"select all, then left collapses it", {{Qt::Key_A, Qt::ControlModifier}, {Qt::Key_Left, Qt::NoModifier}}, QString()},
        {"moving without shift selects nothing", {{Qt::Key_Right, Qt::NoModifier}, {Qt::Key_End, Qt::NoModifier}}, QString()},
        {"from the second line back up",
            {{Qt::Key_Down, Qt::NoModifier}, {Qt::Key_Home, Qt::NoModifier}, {Qt::Key_Left, Qt::ShiftModifier},
                {Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier}},
            QStringLiteral("gamma\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        QTest::mouseClick(text.get(), Qt::LeftButton, {}, onFirstLine(0));
        EXPECT_TRUE(text->hasFocus());
        for (const auto& [key, modifiers] : c.presses)
            QTest::keyClick(text.get(), key, modifiers);
        EXPECT_EQ(text->selectedText(), c.selected);
    }
    // A key it has no use for goes on to the pane.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(text.get(), &escape);
    EXPECT_FALSE(escape.isAccepted());
}

TEST_F(WrappingTextTest, ItsMenuCopiesTheSelectionAndSelectsAll)
{
    std::unique_ptr<QMenu> menu(text->createStandardContextMenu());
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->objectName(), "edit-copy");
    EXPECT_FALSE(actions[0]->isEnabled()); // nothing selected yet
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->objectName(), "select-all");
    actions[2]->trigger();
    EXPECT_EQ(text->selectedText(), kText);

    menu.reset(text->createStandardContextMenu());
    ASSERT_TRUE(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), kText);
}

TEST_F(WrappingTextTest, AScreenReaderIsGivenTheTextNowShown)
{
    EXPECT_EQ(text->accessibleName(), kText);
    text->setText(QStringLiteral("another"));
    EXPECT_EQ(text->accessibleName(), "another");
}

TEST_F(WrappingTextTest, TheSelectionIsDrawnInTheHighlightOfTheFocus)
{
    const auto shows = [&](QPalette::ColorGroup group) {
        const QColor highlight = text->palette().color(group, QPalette::Highlight);
        const QImage image = text->grab().toImage();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == highlight)
                    return true;
            }
        }
        return false;
    };
    QPalette palette = text->palette();
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(10, 200, 30));
    palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(200, 10, 130));
    text->setPalette(palette);
    text->clearFocus();
    EXPECT_FALSE(shows(QPalette::Inactive));
    text->selectAll();
    EXPECT_TRUE(shows(QPalette::Inactive));
    text->setFocus();
    ASSERT_TRUE(text->hasFocus());
    EXPECT_TRUE(shows(QPalette::Active));
    EXPECT_FALSE(shows(QPalette::Inactive));
}

// A note far longer than its window: lines of a few dozen words each, the first ones in sight.
class LongWrappingTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 120; ++i)
            lines.append(QStringLiteral("line %1 of a long note that wraps once or twice at the width it is shown at").arg(i));
        lines.append(QStringLiteral("the end"));
        window.resize(300, 200);
        text = new WrappingText(lines.join(QLatin1Char('\n')), QFont(QStringLiteral("DejaVu Sans"), 11), Qt::black, 0, &window);
        text->resize(300, text->heightForWidth(300));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QStringList lines;
    QWidget window;
    WrappingText* text = nullptr;
};

TEST_F(LongWrappingTextTest, TheLinesOutOfSightFollowWithoutMovingThoseInSight)
{
    // The same text laid out whole at once, in a window as tall as the screen.
    QWidget tall;
    tall.resize(300, 100'000);
    WrappingText whole(text->text(), text->font(), Qt::black, 0, &tall);
    const int height = whole.heightForWidth(300);

    // The caret blinks with time, and a busy machine can take a blink between the two pictures:
    // they are compared without it, as what is compared is where the lines are.
    text->clearFocus();
    const int estimated = text->height();
    EXPECT_LE(estimated, height); // lines of prose: it grows as the rest is laid out
    const QImage inSight = text->grab(QRect(0, 0, 300, 200)).toImage();
    // Scrolled to the end: the rest is laid out and the widget takes its whole height.
    text->grab(QRect(0, 0, 300, estimated));
    QCoreApplication::processEvents();
    text->grab(QRect(0, 0, 300, text->height()));
    QCoreApplication::processEvents();
    EXPECT_EQ(text->height(), height);
    EXPECT_EQ(text->grab(QRect(0, 0, 300, 200)).toImage(), inSight);
}

TEST_F(LongWrappingTextTest, TheWholeTextCanBeSelectedBeforeItIsAllLaidOut)
{
    struct Case {
        const char* gesture;
        std::function<void()> act;
        QString selected;
    };
    const Case cases[] = {
        {"select all", [this] { text->selectAll(); }, lines.join(QLatin1Char('\n'))},
        {"to the end, then a word back",
            [this] {
                QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
                QTest::keyClick(text, Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier);
            },
            QStringLiteral("end")},
        {"to the end, then to the start of its line",
            [this] {
                QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
                QTest::keyClick(text, Qt::Key_Home, Qt::ShiftModifier);
            },
            QStringLiteral("the end")},
        {"scrolled to the end, a double click on the last line",
            [this] {
                text->grab(QRect(0, 0, 300, text->height()));
                QCoreApplication::processEvents();
                QTest::mouseDClick(text, Qt::LeftButton, {}, QPoint(3, text->height() - 3));
            },
            QStringLiteral("the")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gesture);
        QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(2, 2));
        c.act();
        EXPECT_EQ(text->selectedText(), c.selected);
    }
}

} // namespace
} // namespace vesk
