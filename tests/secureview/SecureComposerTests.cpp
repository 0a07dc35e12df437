#include "secureview/SecureBadges.h"
#include "secureview/SecureVeskComposer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace vesk {
namespace {

// A composer whose actions record what they were handed and answer `accept`.
struct ComposerHarness {
    ComposerHarness()
    {
        SecureVeskComposer::Actions actions;
        actions.saveSecret = [this](const QString& name, const QString& details, const QString& secret,
                                    const QString& note) {
            handed = {name, details, secret, note};
            return accept;
        };
        actions.saveCreditCard = [this](const QString& name, const QString& details, const QString& digits,
                                        const QString& expiration, const QString& code, const QString& note) {
            handed = {name, details, digits, expiration, code, note};
            return accept;
        };
        actions.cancel = [this] { ++cancels; };
        actions.failureReason = [this] { return reason; };
        composer = std::make_unique<SecureVeskComposer>(std::move(actions));
    }

    static void type(QLineEdit* field, const QString& text)
    {
        field->setFocus();
        QTest::keyClicks(field, text);
    }

    std::unique_ptr<SecureVeskComposer> composer;
    QStringList handed;
    bool accept = true;
    int cancels = 0;
    QString reason;
};

TEST(SecureComposer, ASecretNeedsANameAndAnyCharacterAndIsHandedOverAsTyped)
{
    ComposerHarness h;
    SecureVeskComposer& c = *h.composer;
    EXPECT_EQ(c.kind(), SecureVeskKind::Secret);
    EXPECT_FALSE(c.showsSecret());
    EXPECT_FALSE(c.saveButton()->isEnabled());
    EXPECT_EQ(c.secretField()->echoMode(), QLineEdit::Password);
    ASSERT_NE(c.findChild<SecureShieldGlyph*>(), nullptr);
    EXPECT_EQ(c.findChild<SecureShieldGlyph*>()->size(), QSize(40, 40));

    h.type(c.titleField(), QStringLiteral("   "));
    h.type(c.secretField(), QStringLiteral("pw"));
    EXPECT_FALSE(c.saveButton()->isEnabled()) << "a name of spaces";
    c.titleField()->setText(QStringLiteral(" Router "));
    c.secretField()->setText(QStringLiteral("   "));
    EXPECT_TRUE(c.saveButton()->isEnabled()) << "a secret of spaces is a secret";
    c.detailsField()->setText(QStringLiteral("home"));
    c.noteEditor()->setPlainText(QStringLiteral("hall "));

    QTest::mouseClick(c.saveButton(), Qt::LeftButton);
    EXPECT_EQ(h.handed, (QStringList{QStringLiteral(" Router "), QStringLiteral("home"), QStringLiteral("   "),
                                     QStringLiteral("hall ")}));
    EXPECT_FALSE(c.saveFailed());
    EXPECT_TRUE(c.failureLine()->isHidden());
}

TEST(SecureComposer, TheEyeShowsAndHidesTheSameText)
{
    ComposerHarness h;
    SecureVeskComposer& c = *h.composer;
    c.secretField()->setText(QStringLiteral("s3cret"));
    QTest::mouseClick(c.showSecretButton(), Qt::LeftButton);
    EXPECT_EQ(c.secretField()->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(c.showSecretButton()->toolTip(), QStringLiteral("Hide secret"));
    QTest::mouseClick(c.showSecretButton(), Qt::LeftButton);
    EXPECT_EQ(c.secretField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(c.showSecretButton()->toolTip(), QStringLiteral("Show secret"));
    EXPECT_EQ(c.secretField()->text(), QStringLiteral("s3cret"));
}

TEST(SecureComposer, CardFieldsShapeWhileTypingAndEnableSavingOnlyForACompleteCard)
{
    ComposerHarness h;
    SecureVeskComposer& c = *h.composer;
    QTest::mouseClick(c.kindButton(SecureVeskKind::CreditCard), Qt::LeftButton);
    EXPECT_EQ(c.kind(), SecureVeskKind::CreditCard);
    EXPECT_FALSE(c.cardBlock()->isHidden());
    EXPECT_TRUE(c.secretBlock()->isHidden());

    c.titleField()->setText(QStringLiteral("Visa"));
    h.type(c.cardNumberField(), QStringLiteral("4111-1111 x1111-111"));
    EXPECT_EQ(c.cardNumberField()->text(), QStringLiteral("4111 1111 1111 111"));
    h.type(c.expirationField(), QStringLiteral("12265"));
    EXPECT_EQ(c.expirationField()->text(), QStringLiteral("12/26"));
    h.type(c.codeField(), QStringLiteral("1a2b3"));
    EXPECT_EQ(c.codeField()->text(), QStringLiteral("123"));
    EXPECT_FALSE(c.saveButton()->isEnabled()) << "15 digits that do not start with 34 or 37";

    h.type(c.cardNumberField(), QStringLiteral("19"));
    EXPECT_EQ(c.cardNumberField()->text(), QStringLiteral("4111 1111 1111 1111")) << "a 17th digit is dropped";
    EXPECT_TRUE(c.saveButton()->isEnabled());

    c.cardNumberField()->clear();
    h.type(c.cardNumberField(), QStringLiteral("3782822463100059"));
    EXPECT_EQ(c.cardNumberField()->text(), QStringLiteral("3782 822463 10005"));
    c.codeField()->setText(QStringLiteral("12"));
    EXPECT_FALSE(c.saveButton()->isEnabled()) << "a two-digit code";
    c.codeField()->setText(QStringLiteral("1234"));
    QTest::mouseClick(c.saveButton(), Qt::LeftButton);
    EXPECT_EQ(h.handed, (QStringList{QStringLiteral("Visa"), QString(), QStringLiteral("378282246310005"),
                                     QStringLiteral("12/26"), QStringLiteral("1234"), QString()}));
}

TEST(SecureComposer, SwitchingKindsKeepsWhatWasTypedAndChangesTheTexts)
{
    ComposerHarness h;
    SecureVeskComposer& c = *h.composer;
    const QString secretPlaceholder = c.titleField()->placeholderText();
    EXPECT_EQ(c.headerTitle()->text(), QStringLiteral("New Secure Vesk"));
    c.setKind(SecureVeskKind::CreditCard);
    EXPECT_EQ(c.headerTitle()->text(), QStringLiteral("New Credit Card Vesk"));
    EXPECT_NE(c.titleField()->placeholderText(), secretPlaceholder);
    EXPECT_TRUE(c.headerSubtitle()->text().contains(QStringLiteral("system keyring")));

    c.titleField()->setText(QStringLiteral("Both"));
    c.cardNumberField()->setText(QStringLiteral("4111111111111111"));
    c.setKind(SecureVeskKind::Secret);
    c.secretField()->setText(QStringLiteral("pw"));
    c.setKind(SecureVeskKind::CreditCard);
    EXPECT_EQ(c.cardNumberField()->text(), QStringLiteral("4111 1111 1111 1111"));
    c.setKind(SecureVeskKind::Secret);
    c.save();
    EXPECT_EQ(h.handed, (QStringList{QStringLiteral("Both"), QString(), QStringLiteral("pw"), QString()}))
        << "saving a secret ignores the card fields";
}

TEST(SecureComposer, ARefusedSaveKeepsEverythingAndShowsTheFailureUntilTheNextAttempt)
{
    ComposerHarness h;
    SecureVeskComposer& c = *h.composer;
    h.accept = false;
    h.reason = QStringLiteral("The system keyring is not available.");
    c.titleField()->setText(QStringLiteral("Router"));
    c.secretField()->setText(QStringLiteral("pw"));
    c.save();
    EXPECT_TRUE(c.saveFailed());
    EXPECT_FALSE(c.failureLine()->isHidden());
    EXPECT_EQ(c.failureText()->text(),
              QStringLiteral("Vesk couldn't save this secure item. The system keyring is not available."));
    c.titleField()->setText(QStringLiteral("Router 2"));
    EXPECT_FALSE(c.failureLine()->isHidden()) << "editing does not hide the failure";
    EXPECT_EQ(c.secretField()->text(), QStringLiteral("pw"));

    h.accept = true;
    c.save();
    EXPECT_TRUE(c.failureLine()->isHidden());
    QTest::mouseClick(c.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(h.cancels, 1);
}

} // namespace
} // namespace vesk
