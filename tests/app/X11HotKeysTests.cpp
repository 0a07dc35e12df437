// Runs for real only under an X server (CTest's app.x11_hotkeys starts one with xvfb-run); on
// any other platform each test skips itself.
#include "common/Eventually.h"
#include "app/AppTestSupport.h"
#include "app/ClipboardCapture.h"
#include "app/VeskClipboardHotKey.h"
#include "app/VeskHotKey.h"
#include "platform/NotificationCenter.h"
#include "platform/X11ClipboardText.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

namespace vesk::test {
namespace {

class X11HotKeys : public WindowTest {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        WindowTest::SetUp();
        connect = QObject::connect(&NotificationCenter::shared(), &NotificationCenter::posted, [this](const QString& name) {
            if (name == kCaptureClipboardNotification)
                captureClipboard(*store);
        });
    }
    void TearDown() override
    {
        QObject::disconnect(connect);
        WindowTest::TearDown();
    }

    static void press(const char* keys)
    {
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)}), 0);
    }

    // Hands the clipboard its contents and waits until the X server knows our process owns it.
    static void setClipboard(QMimeData* data)
    {
        QGuiApplication::clipboard()->setMimeData(data);
        ASSERT_EVENTUALLY(QGuiApplication::clipboard()->ownsClipboard(), 5000);
    }

    QMetaObject::Connection connect;
};

TEST_F(X11HotKeys, ControlAltVCapturesWhatTheClipboardHolds)
{
    VeskClipboardHotKey clipboardKey;
    VeskHotKey summonKey;
    std::optional<HotKeyFailure> failure;
    summonKey.setFailureReporter([&](const HotKeyFailure& f) { failure = f; });
    summonKey.start();
    clipboardKey.start();
    ASSERT_TRUE(summonKey.hasStarted());
    ASSERT_TRUE(clipboardKey.hasStarted());
    EXPECT_FALSE(failure.has_value());

    auto* text = new QMimeData;
    text->setText(QStringLiteral("Buy stamps"));
    setClipboard(text);
    press("ctrl+alt+v");
    ASSERT_EVENTUALLY_EQ(store->items().size(), 1, 5000);
    EXPECT_EQ(store->items().first().text, std::optional<QString>(QStringLiteral("Buy stamps")));

    auto* html = new QMimeData;
    html->setHtml(QStringLiteral("<p>Train <i>times</i></p>"));
    setClipboard(html);
    press("ctrl+alt+v");
    ASSERT_EVENTUALLY_EQ(store->items().size(), 2, 5000);
    EXPECT_EQ(store->intakeNotice()->detail, std::optional<QString>(QStringLiteral("Rich web content")));

    QImage picture(24, 24, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    auto* image = new QMimeData;
    image->setData(QStringLiteral("image/png"), png);
    setClipboard(image);
    press("ctrl+alt+v");
    ASSERT_EVENTUALLY_EQ(store->items().size(), 3, 5000);
    EXPECT_EQ(store->items().first().kind, VeskKind::Image);

    const QString folder = makeTempDirectory(QStringLiteral("copied"));
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(writeFile(folder + QStringLiteral("/one.txt"), "one")),
                    QUrl::fromLocalFile(writeFile(folder + QStringLiteral("/two.txt"), "two"))});
    setClipboard(files);
    press("ctrl+alt+v");
    ASSERT_EVENTUALLY_EQ(store->items().size(), 5, 5000);

    // With Caps Lock on, the key still reaches Vesk.
    auto* more = new QMimeData;
    more->setText(QStringLiteral("Caps on"));
    setClipboard(more);
    press("Caps_Lock");
    press("ctrl+alt+v");
    press("Caps_Lock");
    ASSERT_EVENTUALLY_EQ(store->items().size(), 6, 5000);
}

TEST_F(X11HotKeys, AKeyAnotherProgramHoldsFailsAtTheShortcutStage)
{
    // Another X client takes Control+Alt+T first.
    int screenNumber = 0;
    xcb_connection_t* rival = xcb_connect(nullptr, &screenNumber);
    ASSERT_EQ(xcb_connection_has_error(rival), 0);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(rival));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    // The T key's code from the rival's own keyboard mapping.
    xcb_keycode_t keycode = 0;
    {
        const xcb_setup_t* setup = xcb_get_setup(rival);
        auto* reply = xcb_get_keyboard_mapping_reply(
            rival, xcb_get_keyboard_mapping(rival, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1),
            nullptr);
        ASSERT_NE(reply, nullptr);
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
        const int per = reply->keysyms_per_keycode;
        for (int code = setup->min_keycode; code <= setup->max_keycode && !keycode; ++code) {
            if (syms[(code - setup->min_keycode) * per] == 't')
                keycode = xcb_keycode_t(code);
        }
        free(reply);
    }
    ASSERT_NE(keycode, 0);
    xcb_generic_error_t* error = xcb_request_check(
        rival, xcb_grab_key_checked(rival, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, keycode,
                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);

    VeskHotKey summonKey;
    QList<HotKeyFailure> failures;
    summonKey.setFailureReporter([&](const HotKeyFailure& f) { failures.append(f); });
    summonKey.start();
    EXPECT_FALSE(summonKey.hasStarted());
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.first().stage, QStringLiteral("shortcut"));
    EXPECT_EQ(failures.first().status, 10); // BadAccess
    EXPECT_TRUE(VeskHotKey::failureAlertText(failures.first()).contains(QStringLiteral("Registration stage: shortcut")));

    // Once the other program lets go, a later start takes the key (the server frees a closed
    // client's grabs in its own time, so a start may still fail meanwhile).
    xcb_disconnect(rival);
    ASSERT_EVENTUALLY((summonKey.start(), summonKey.hasStarted()), 3000);
}

TEST_F(X11HotKeys, MegabytesOfTextAnotherProgramCopiedAreCapturedWhole)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        GTEST_SKIP() << "needs xclip";
    // Far more than one piece of a transfer, with characters of several bytes across the pieces'
    // edges, on one line.
    QString text;
    for (int i = 0; text.size() < 3'000'000; ++i)
        text += QStringLiteral("f\u00e4hre %1 \u6e2f ").arg(i);
    const QString path = writeFile(makeTempDirectory(QStringLiteral("copied")) + QStringLiteral("/text.txt"), text.toUtf8());
    QProcess owner;
    owner.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-quiet"),
                                          QStringLiteral("-i"), path});
    ASSERT_TRUE(owner.waitForStarted());
    ASSERT_EVENTUALLY(!QGuiApplication::clipboard()->ownsClipboard() && QGuiApplication::clipboard()->mimeData()
                && QGuiApplication::clipboard()->mimeData()->hasText(), 5000);

    ASSERT_TRUE(x11DisplayName());
    EXPECT_EQ(readX11ClipboardText(*x11DisplayName()), std::optional<QString>(text));
    ASSERT_TRUE(captureClipboard(*store));
    // Read and prepared by background threads, which a machine busy with other programs' work
    // serves last: the bound is for a capture that never comes, not for a slow one.
    ASSERT_EVENTUALLY_EQ(store->items().size(), 1, 120'000);
    EXPECT_EQ(store->items().first().text, std::optional<QString>(text.trimmed()));
    // With nobody holding the clipboard there is nothing to read.
    owner.kill();
    owner.waitForFinished();
    ASSERT_EVENTUALLY(!readX11ClipboardText(*x11DisplayName()), 5000);
}

TEST(HotKeyCodes, FourCharCodePacksTheLastFourBytes)
{
    EXPECT_EQ(fourCharCode(QStringLiteral("VESK")), 0x5645534Bu);
    EXPECT_EQ(fourCharCode(QString()), 0u);
    EXPECT_EQ(fourCharCode(QStringLiteral("AVESK")), 0x5645534Bu);
}

} // namespace
} // namespace vesk::test
