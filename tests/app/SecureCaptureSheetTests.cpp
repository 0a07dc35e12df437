// The "Secure" button's composer over a real store, and the pane's view of a secure item.
#include "AppTestSupport.h"

#include "app/ControlsStrip.h"
#include "app/LibraryContent.h"
#include "app/SecureCaptureSheet.h"
#include "pane/VeskPreview.h"
#include "secureview/SecureVeskComposer.h"
#include "secureview/SecureVeskPreview.h"
#include "store/FaultInjection.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace vesk::test {
namespace {

using SecureCaptureSheetTest = WindowTest;

SecureVeskComposer* openComposer(MainWindow& window)
{
    QTest::mouseClick(window.controlsStrip()->secureButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    return qobject_cast<SecureVeskComposer*>(window.presentedSheet(SheetFlag::SecureCapture));
}

TEST_F(SecureCaptureSheetTest, AnAcceptedSaveClosesTheSheetAndARefusedOneKeepsItOpen)
{
    MainWindow& window = makeWindow();
    window.setSheetFactory(SheetFlag::SecureCapture, makeSecureCaptureSheet);
    window.show();

    SecureVeskComposer* composer = openComposer(window);
    ASSERT_NE(composer, nullptr);
    composer->titleField()->setText(QStringLiteral("Router"));
    composer->secretField()->setText(QStringLiteral("pw"));
    secrets->failWrites = KeychainError::fromStatus(2, QStringLiteral("locked"));
    QTest::mouseClick(composer->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(window.state().showingSecureCapture());
    EXPECT_TRUE(composer->saveFailed());
    EXPECT_TRUE(store->items().isEmpty());

    secrets->failWrites.reset();
    QTest::mouseClick(composer->saveButton(), Qt::LeftButton);
    EXPECT_FALSE(window.state().showingSecureCapture());
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->items().first().title, QStringLiteral("Router"));
    EXPECT_EQ(secrets->entries.value(store->items().first().id), QByteArray("pw"));
}

// A save the library refused says why in the sheet itself, where the user is looking; the
// failure notice may be waiting behind another one.
TEST_F(SecureCaptureSheetTest, ARefusedSaveSaysTheLibrarysReasonInTheSheet)
{
    const struct {
        const char* name;
        bool readOnly;
        QString failure;
    } cases[] = {
        {"read-only library", true, QStringLiteral("Vesk couldn't save this secure item. The disk is full.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        store.reset();
        dataDir = makeTempDirectory(QStringLiteral("library"));
        if (c.readOnly) {
            ASSERT_NO_FATAL_FAILURE(useReadOnlyLibrary());
        } else {
            store = makeStore();
            failItemSaves(*store, true);
        }
        // Another failure is shown already: the sheet's own is not queued behind it.
        store->reportFailure(QStringLiteral("Setting not kept"), QStringLiteral("Your tags could not be kept."));
        MainWindow& mainWindow = makeWindow();
        mainWindow.setSheetFactory(SheetFlag::SecureCapture, makeSecureCaptureSheet);
        mainWindow.show();
        SecureVeskComposer* composer = openComposer(mainWindow);
        ASSERT_NE(composer, nullptr);
        composer->titleField()->setText(QStringLiteral("Router"));
        composer->secretField()->setText(QStringLiteral("pw"));
        QTest::mouseClick(composer->saveButton(), Qt::LeftButton);
        EXPECT_TRUE(mainWindow.state().showingSecureCapture());
        ASSERT_TRUE(composer->saveFailed());
        const QString shown = composer->failureText()->text();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("Vesk couldn't save this secure item. "))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(c.failure)) << shown.toStdString();
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Setting not kept"));
    }
}

// The library stops taking rows under an open library: the new item stays on screen and its row
// is written at a retry. That counts as kept: the sheet closes, so pressing "Vesk It" again cannot
// make a second item with a second secret. On a full disk not even the note of the item being
// added can be written: nothing is made, and the sheet stays open saying why, however often it is
// pressed.
TEST_F(SecureCaptureSheetTest, AnItemKeptOnScreenForARetryIsMadeOnceHoweverOftenVeskItIsPressed)
{
    const struct {
        const char* name;
        SecureVeskKind kind;
    } cases[] = {
        {"password", SecureVeskKind::Secret},
        {"credit card", SecureVeskKind::CreditCard},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        store.reset();
        secrets->entries.clear();
        dataDir = makeTempDirectory(QStringLiteral("library"));
        store = makeStore();
        MainWindow& mainWindow = makeWindow();
        mainWindow.setSheetFactory(SheetFlag::SecureCapture, makeSecureCaptureSheet);
        mainWindow.show();
        QPointer<SecureVeskComposer> composer = openComposer(mainWindow);
        ASSERT_NE(composer, nullptr);
        composer->setKind(c.kind);
        composer->titleField()->setText(QStringLiteral("Router"));
        composer->secretField()->setText(QStringLiteral("pw"));
        composer->cardNumberField()->setText(QStringLiteral("4111 1111 1111 1111"));
        composer->expirationField()->setText(QStringLiteral("12/30"));
        composer->codeField()->setText(QStringLiteral("123"));
        const auto pressTwice = [&] {
            for (int press = 0; press < 2; ++press) {
                QCoreApplication::processEvents();
                if (composer && composer->isVisible() && composer->saveButton()->isEnabled())
                    QTest::mouseClick(composer->saveButton(), Qt::LeftButton);
            }
        };
        {
            FileSizeLimit full(1);
            pressTwice();
        }
        EXPECT_TRUE(mainWindow.state().showingSecureCapture());
        EXPECT_TRUE(store->items().isEmpty());
        EXPECT_TRUE(secrets->entries.isEmpty());
        ASSERT_TRUE(composer && composer->saveFailed());
        EXPECT_TRUE(composer->failureText()->text().endsWith(QStringLiteral("The disk is full.")))
            << composer->failureText()->text().toStdString();

        failItemSaves(*store, true);
        pressTwice();
        failItemSaves(*store, false);
        EXPECT_FALSE(mainWindow.state().showingSecureCapture());
        ASSERT_EQ(store->items().size(), 1);
        EXPECT_EQ(store->unsavedItemIDs(), QSet<QUuid>{store->items().first().id});
        ASSERT_TRUE(store->failureNotice());
        EXPECT_TRUE(store->failureNotice()->detail.endsWith(QStringLiteral("Vesk keeps it on screen and tries again.")));

        // Room again: the one row is written, and the keyring holds the one secret of that item.
        timers->advance(services().unsavedRetryIntervalMs);
        EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
        ASSERT_EQ(store->items().size(), 1);
        EXPECT_EQ(secrets->entries.keys(), QList<QUuid>{store->items().first().id});
    }
}

TEST_F(SecureCaptureSheetTest, CancelClosesAndTheNextOpeningIsEmpty)
{
    MainWindow& window = makeWindow();
    window.setSheetFactory(SheetFlag::SecureCapture, makeSecureCaptureSheet);
    window.show();
    SecureVeskComposer* composer = openComposer(window);
    ASSERT_NE(composer, nullptr);
    composer->setKind(SecureVeskKind::CreditCard);
    composer->titleField()->setText(QStringLiteral("Typed"));
    QTest::mouseClick(composer->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(window.state().showingSecureCapture());
    QCoreApplication::processEvents();

    composer = openComposer(window);
    ASSERT_NE(composer, nullptr);
    EXPECT_EQ(composer->kind(), SecureVeskKind::Secret);
    EXPECT_TRUE(composer->titleField()->text().isEmpty());
}

TEST_F(SecureCaptureSheetTest, ASelectedSecureItemShowsItsSecureViewInThePane)
{
    MainWindowState state;
    LibraryContent content(*store, state, settings);
    ASSERT_TRUE(store->addSecureItem(QStringLiteral("Router"), QString(), QStringLiteral("pw"), QString()));
    QCoreApplication::processEvents();
    auto* secure = content.preview()->findChild<SecureVeskPreview*>();
    ASSERT_NE(secure, nullptr);
    EXPECT_EQ(secure->item().id, store->items().first().id);
    EXPECT_EQ(secure->secret(), QStringLiteral("pw"));

    // An accepted edit replaces the view with one of the edited item, which reads the values anew.
    secure->beginEditing();
    secure->editSheet()->titleField()->setText(QStringLiteral("Router 2"));
    secure->editSheet()->secretField()->setText(QStringLiteral("new"));
    QTest::mouseClick(secure->editSheet()->saveButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<SecureVeskPreview*> views = content.preview()->findChildren<SecureVeskPreview*>();
    ASSERT_EQ(views.size(), 1);
    EXPECT_EQ(views.first()->item().title, QStringLiteral("Router 2"));
    EXPECT_EQ(views.first()->secret(), QStringLiteral("new"));
    EXPECT_FALSE(views.first()->showingEditSheet());
}

} // namespace
} // namespace vesk::test
