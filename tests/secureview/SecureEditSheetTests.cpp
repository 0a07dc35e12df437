#include "secureview/SecureViewFixture.h"

#include "secure/CreditCardPayload.h"
#include "secureview/SecureBadges.h"
#include "secureview/SecureEditSheet.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace vesk::test {
namespace {

using SecureEditSheetTest = SecureViewTest;

void type(QLineEdit* field, const QString& text)
{
    QTest::keyClicks(field, text);
}

TEST_F(SecureEditSheetTest, PasswordFormStartsFromTheItemWithABlankSecretAndSavesThroughTheStore)
{
    const VeskItem item = addPassword(QStringLiteral("Router"), QStringLiteral("old"), QStringLiteral(" home "),
                                      QStringLiteral(" hall "));
    auto preview = makePreview(item);
    preview->beginEditing();
    SecureEditSheet* sheet = preview->editSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->titleField()->text(), QStringLiteral("Router"));
    EXPECT_EQ(sheet->detailsField()->text(), QStringLiteral("home"));
    EXPECT_EQ(sheet->noteEditor()->toPlainText(), QStringLiteral("hall"));
    EXPECT_EQ(sheet->secretField()->text(), QString()) << "the loaded secret is never shown here";
    EXPECT_EQ(sheet->cardNumberField(), nullptr);
    EXPECT_EQ(sheet->findChildren<CreditCardStatusBadge*>().size(), 0);

    sheet->titleField()->setText(QStringLiteral("   "));
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->titleField()->setText(QStringLiteral(" Router 2 "));
    type(sheet->secretField(), QStringLiteral(" new "));
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    EXPECT_FALSE(preview->showingEditSheet());
    EXPECT_EQ(secrets->entries.value(item.id), QByteArray("new"));
    EXPECT_EQ(store->items().at(store->indexOfItem(item.id)).title, QStringLiteral("Router 2"));

    preview->toggleReveal();
    QCoreApplication::processEvents(); // the values are read again, hidden
    EXPECT_FALSE(preview->isRevealed());
    EXPECT_EQ(preview->secret(), QStringLiteral("new"));
}

TEST_F(SecureEditSheetTest, CardFormShapesTypingAndKeepsWhatWasTypedAfterARefusal)
{
    const VeskItem card = addCard(QStringLiteral("Visa"), QStringLiteral("4111111111111111"), QStringLiteral("12/26"),
                                  QStringLiteral("123"));
    auto preview = makePreview(card);
    preview->beginEditing();
    SecureEditSheet* sheet = preview->editSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->cardNumberField()->text(), QStringLiteral("4111 1111 1111 1111"));
    EXPECT_EQ(sheet->expirationField()->text(), QStringLiteral("12/26"));
    EXPECT_EQ(sheet->codeField()->text(), QStringLiteral("123"));
    EXPECT_EQ(sheet->secretField(), nullptr);
    EXPECT_EQ(sheet->findChildren<CreditCardStatusBadge*>().size(), 2) << "the header's and the card block's";

    type(sheet->cardNumberField(), QStringLiteral("5"));
    EXPECT_EQ(sheet->cardNumberField()->text(), QStringLiteral("4111 1111 1111 1111")) << "a 17th digit is dropped";
    sheet->cardNumberField()->clear();
    type(sheet->cardNumberField(), QStringLiteral("34-1234 5678 9012 345"));
    EXPECT_EQ(sheet->cardNumberField()->text(), QStringLiteral("3412 345678 90123"));
    sheet->expirationField()->clear();
    type(sheet->expirationField(), QStringLiteral("12265"));
    EXPECT_EQ(sheet->expirationField()->text(), QStringLiteral("12/26"));
    type(sheet->codeField(), QStringLiteral("x45"));
    EXPECT_EQ(sheet->codeField()->text(), QStringLiteral("1234"));

    sheet->expirationField()->clear();
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(preview->showingEditSheet()) << "an empty expiration is refused by the store";
    EXPECT_FALSE(sheet->failureLine()->isHidden());
    EXPECT_EQ(sheet->cardNumberField()->text(), QStringLiteral("3412 345678 90123"));
    EXPECT_EQ(secrets->entries.value(card.id), QByteArray("4111111111111111\n12/26\n123"));

    type(sheet->expirationField(), QStringLiteral("0130"));
    QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
    EXPECT_FALSE(preview->showingEditSheet());
    EXPECT_EQ(secrets->entries.value(card.id), QByteArray("341234567890123\n01/30\n1234"));
    QCoreApplication::processEvents();
    ASSERT_TRUE(preview->card());
    EXPECT_EQ(preview->card()->number, QStringLiteral("341234567890123"));
}

TEST_F(SecureEditSheetTest, CancelDiscardsTypingAndReopeningRefillsFromTheItemAndTheCard)
{
    const VeskItem card = addCard(QStringLiteral("Visa"), QStringLiteral("4111111111111111"), QStringLiteral("12/26"),
                                  QStringLiteral("123"));
    auto preview = makePreview(card);
    preview->beginEditing();
    preview->editSheet()->titleField()->setText(QStringLiteral("Typed"));
    preview->editSheet()->codeField()->setText(QStringLiteral("999"));
    QTest::mouseClick(preview->editSheet()->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(preview->showingEditSheet());

    preview->beginEditing();
    EXPECT_EQ(preview->editSheet()->titleField()->text(), QStringLiteral("Visa"));
    EXPECT_EQ(preview->editSheet()->codeField()->text(), QStringLiteral("123"));
    EXPECT_TRUE(preview->editSheet()->failureLine()->isHidden());
    preview->cancelEditing();

    secrets->entries.clear();
    auto unread = makePreview(card);
    unread->beginEditing();
    EXPECT_EQ(unread->editSheet()->cardNumberField()->text(), QString()) << "no card was loaded";
    EXPECT_EQ(unread->editSheet()->expirationField()->text(), QString());
}

TEST_F(SecureEditSheetTest, AKeyringThatIsNotThereIsNamedInTheFailure)
{
    const VeskItem item = addPassword(QStringLiteral("Router"), QStringLiteral("old"));
    auto preview = makePreview(item);
    preview->beginEditing();
    secrets->failWrites = KeychainError::unavailable();
    preview->editSheet()->secretField()->setText(QStringLiteral("new"));
    QTest::mouseClick(preview->editSheet()->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(preview->showingEditSheet());
    EXPECT_TRUE(preview->editSheet()->failureText()->text().startsWith(
        QStringLiteral("Vesk couldn't save these Secure Vesk changes. The system keyring is not available")));
    EXPECT_EQ(secrets->entries.value(item.id), QByteArray("old"));
}

// The reason belongs to the save it is shown for: a later save refused before the keyring was
// asked (its item being deleted meanwhile) does not name the keyring that failed the one before.
TEST_F(SecureEditSheetTest, AKeyringFailureIsNotNamedForALaterSaveItDidNotStop)
{
    const VeskItem item = addPassword(QStringLiteral("Router"), QStringLiteral("old"));
    auto preview = makePreview(item);
    preview->beginEditing();
    secrets->failWrites = KeychainError::unavailable();
    preview->editSheet()->secretField()->setText(QStringLiteral("new"));
    QTest::mouseClick(preview->editSheet()->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(preview->showingEditSheet());
    ASSERT_TRUE(preview->editSheet()->failureText()->text().contains(QStringLiteral("keyring")));

    secrets->failWrites.reset();
    store->select(item.id);
    store->deleteItems();
    QTest::mouseClick(preview->editSheet()->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(preview->showingEditSheet());
    EXPECT_EQ(secrets->entries.value(item.id), QByteArray("old"));
    EXPECT_FALSE(preview->editSheet()->failureLine()->isHidden());
    EXPECT_FALSE(preview->editSheet()->failureText()->text().contains(QStringLiteral("keyring")))
        << preview->editSheet()->failureText()->text().toStdString();
}

// The failure line, with or without its reason, gets the lines it needs: nothing of it is cut by
// the sheet's bottom or squeezed into one line's height.
TEST_F(SecureEditSheetTest, TheFailureLineHasTheRoomItsTextNeeds)
{
    for (const bool card : {false, true}) {
        const VeskItem item = card ? addCard(QStringLiteral("Visa"), QStringLiteral("4111111111111111"),
                                             QStringLiteral("12/26"), QStringLiteral("123"))
                                   : addPassword(QStringLiteral("Router"), QStringLiteral("old"));
        auto preview = makePreview(item);
        preview->beginEditing();
        SecureEditSheet* sheet = preview->editSheet();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
        secrets->failWrites = KeychainError::unavailable();
        if (card)
            sheet->codeField()->setText(QStringLiteral("999"));
        else
            sheet->secretField()->setText(QStringLiteral("new"));
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        QCoreApplication::processEvents();
        QLabel* text = sheet->failureText();
        ASSERT_TRUE(text->isVisible());
        EXPECT_GE(text->height(), text->heightForWidth(text->width())) << "card " << card;
        const int oneLine = QFontMetrics(text->font()).horizontalAdvance(text->text());
        EXPECT_GE(text->width(), std::min(oneLine, sheet->width() - 80)) << "it wraps only where the sheet has no room";
        const QRect inSheet(text->mapTo(sheet, QPoint()), text->size());
        EXPECT_TRUE(sheet->rect().contains(inSheet)) << "card " << card;
        EXPECT_GE(sheet->saveButton()->mapTo(sheet, QPoint()).y(), inSheet.bottom()) << "the buttons stay below it";
        secrets->failWrites.reset();
        preview->cancelEditing();
    }
}

} // namespace
} // namespace vesk::test
