#include "secureview/SecureViewFixture.h"

#include "secureview/SecureMasks.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace vesk::test {
namespace {

TEST(SecureMasks, HideLengthWithinBoundsAndTellOnlyTheCardKind)
{
    const QString bullet(QChar(0x2022));
    EXPECT_EQ(maskedSecret(QStringLiteral("abc")), bullet.repeated(8));
    EXPECT_EQ(maskedSecret(QStringLiteral("abcdefghij")), bullet.repeated(10));
    EXPECT_EQ(maskedSecret(QString(25, QLatin1Char('x'))), bullet.repeated(18));
    EXPECT_EQ(maskedSecret(QStringLiteral("👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽")), bullet.repeated(9)) << "characters, not code units";
    EXPECT_EQ(maskedCardNumber(QStringLiteral("378282246310005")), QStringLiteral("•••• •••••• •••••"));
    EXPECT_EQ(maskedCardNumber(QStringLiteral("341234567890123")), QStringLiteral("•••• •••••• •••••"));
    EXPECT_EQ(maskedCardNumber(QStringLiteral("4111111111111111")), QStringLiteral("•••• •••• •••• ••••"));
    EXPECT_EQ(maskedCode(QStringLiteral("1234")), bullet.repeated(4));
    EXPECT_EQ(maskedCode(QStringLiteral("12")), bullet.repeated(3));
    EXPECT_EQ(maskedExpiration(), QStringLiteral("••/••"));
}

using SecurePreviewTest = SecureViewTest;

TEST_F(SecurePreviewTest, APasswordIsMaskedRevealedForThirtySecondsAndHiddenAgain)
{
    const VeskItem item = addPassword(QStringLiteral("Router"), QStringLiteral("tr0ub4dor&3"), QStringLiteral(" home "));
    auto preview = std::make_unique<SecureVeskPreview>(*store, item, timers);
    EXPECT_EQ(shown(*preview, QStringLiteral("secureStatusText")), QStringLiteral("Reading system keyring…"));
    QCoreApplication::processEvents();
    ASSERT_EQ(preview->secret(), QStringLiteral("tr0ub4dor&3"));
    EXPECT_EQ(shown(*preview, QStringLiteral("securePasswordValue")), QString(11, QChar(0x2022)));
    EXPECT_EQ(shown(*preview, QStringLiteral("secureNameValue")), QStringLiteral("Router"));
    EXPECT_EQ(shown(*preview, QStringLiteral("secureDetailsValue")), QStringLiteral("home"));
    EXPECT_EQ(preview->findChild<QWidget*>(QStringLiteral("secureReferenceNote")), nullptr);

    preview->toggleReveal();
    EXPECT_EQ(shown(*preview, QStringLiteral("securePasswordValue")), QStringLiteral("tr0ub4dor&3"));
    timers->advance(29'999);
    EXPECT_TRUE(preview->isRevealed());
    timers->advance(1);
    EXPECT_FALSE(preview->isRevealed());
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(*preview, QStringLiteral("securePasswordValue")), QString(11, QChar(0x2022)));
}

TEST_F(SecurePreviewTest, EachRevealGetsAFreshThirtySecondsAndHidingLeavesNoTimer)
{
    const VeskItem item = addPassword(QStringLiteral("Router"), QStringLiteral("pw"));
    auto preview = makePreview(item);
    preview->toggleReveal();
    timers->advance(20'000);
    preview->toggleReveal(); // hide by hand
    EXPECT_EQ(timers->pendingCount(), 0);
    preview->toggleReveal();
    timers->advance(20'000);
    EXPECT_TRUE(preview->isRevealed()) << "the first reveal's timer must not hide the second";
    timers->advance(10'000);
    EXPECT_FALSE(preview->isRevealed());

    preview->toggleReveal();
    preview->hideRevealedValues(); // leaving the application, or the view going away
    EXPECT_FALSE(preview->isRevealed());
    EXPECT_EQ(timers->pendingCount(), 0);
}

TEST_F(SecurePreviewTest, ACardRevealsAllThreeValuesTogetherAndCopiesTheBareNumber)
{
    const VeskItem card = addCard(QStringLiteral("Amex"), QStringLiteral("378282246310005"), QStringLiteral("12/26"),
                                  QStringLiteral("1234"));
    // The store refuses a two-digit code; an entry written elsewhere may still hold one.
    secrets->entries.insert(card.id, QByteArray("378282246310005\n12/26\n12"));
    auto preview = makePreview(card);
    EXPECT_EQ(current<QToolButton>(*preview, QStringLiteral("secureCardNumberReveal")), nullptr)
        << "a card reveals through its Reveal button only";
    EXPECT_EQ(shown(*preview, QStringLiteral("secureCardNumberValue")), QStringLiteral("•••• •••••• •••••"));
    EXPECT_EQ(shown(*preview, QStringLiteral("secureExpirationValue")), QStringLiteral("••/••"));
    EXPECT_EQ(shown(*preview, QStringLiteral("secureCodeValue")), QStringLiteral("•••"));

    QTest::mouseClick(current<QPushButton>(*preview, QStringLiteral("secureRevealButton")), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(*preview, QStringLiteral("secureCardNumberValue")), QStringLiteral("3782 822463 10005"));
    EXPECT_EQ(shown(*preview, QStringLiteral("secureExpirationValue")), QStringLiteral("12/26"));
    EXPECT_EQ(shown(*preview, QStringLiteral("secureCodeValue")), QStringLiteral("12"));
    EXPECT_EQ(current<QPushButton>(*preview, QStringLiteral("secureRevealButton"))->text(), QStringLiteral("Hide"));

    QTest::mouseClick(current<QToolButton>(*preview, QStringLiteral("secureCardNumberCopy")), Qt::LeftButton);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->text(), QStringLiteral("378282246310005"));
    EXPECT_EQ(copied->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
}

TEST_F(SecurePreviewTest, TheClipboardIsClearedAfterThirtySecondsOnlyWhileItStillHoldsTheCopy)
{
    const VeskItem item = addPassword(QStringLiteral("Router"), QStringLiteral("pw"));
    auto preview = makePreview(item);
    QClipboard* clipboard = QGuiApplication::clipboard();

    QTest::mouseClick(current<QToolButton>(*preview, QStringLiteral("secureNameCopy")), Qt::LeftButton);
    EXPECT_EQ(clipboard->text(), QStringLiteral("Router"));
    EXPECT_TRUE(clipboard->mimeData()->data(QStringLiteral("x-kde-passwordManagerHint")).isEmpty());
    timers->advance(30'000);
    EXPECT_TRUE(clipboard->text().isEmpty());

    preview->copyTemporarily(QStringLiteral("pw"), true);
    timers->advance(10'000);
    clipboard->setText(QStringLiteral("something the user copied"));
    preview.reset(); // the timer outlives the view
    timers->advance(20'000);
    EXPECT_EQ(clipboard->text(), QStringLiteral("something the user copied"));
}

TEST_F(SecurePreviewTest, MissingOrUnreadableEntriesSayWhyWhileTheReferenceFieldsStay)
{
    const VeskItem password = addPassword(QStringLiteral("Router"), QStringLiteral("pw"), QString(),
                                          QStringLiteral("  on the fridge "));
    const VeskItem card = addCard(QStringLiteral("Visa"), QStringLiteral("4111111111111111"), QStringLiteral("1"),
                                  QStringLiteral("123"));
    secrets->entries.clear();
    auto noSecret = makePreview(password);
    EXPECT_EQ(noSecret->loadError(), QStringLiteral("No system keyring secret was found for this Vesk."));
    EXPECT_EQ(shown(*noSecret, QStringLiteral("secureStatusText")), *noSecret->loadError());
    EXPECT_EQ(shown(*noSecret, QStringLiteral("secureNameValue")), QStringLiteral("Router"));
    EXPECT_EQ(shown(*noSecret, QStringLiteral("secureReferenceNote")), QStringLiteral("on the fridge"));
    EXPECT_EQ(makePreview(card)->loadError(), QStringLiteral("No system keyring card data was found for this Vesk."));

    secrets->entries.insert(card.id, QByteArray("4111111111111111\n1\n123\nextra"));
    EXPECT_EQ(makePreview(card)->loadError(), QStringLiteral("Vesk couldn't read the protected credit-card data."));

    secrets->failReads = KeychainError::fromStatus(4, QStringLiteral("The collection is locked"));
    auto locked = makePreview(password);
    EXPECT_EQ(locked->loadError(), QStringLiteral("The collection is locked"));
    EXPECT_FALSE(locked->secret());
}

} // namespace
} // namespace vesk::test
