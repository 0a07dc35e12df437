#include "secureview/SecureFormParts.h"

#include "platform/ui/IconMap.h"
#include "secureview/SecureBadges.h"
#include "platform/ui/Theme.h"
#include "secure/CardRules.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace

QLabel* makeFieldLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = Theme::font(TextStyle::Caption);
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    setTextColor(label, Theme::current().secondary());
    return label;
}

QBoxLayout* makeLabelledField(const QString& label, QWidget* field, QWidget* parent)
{
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(makeFieldLabel(label, parent));
    column->addWidget(field);
    return column;
}

QLabel* makeSecureCaption(const QString& text, TextStyle style, bool tertiary, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::font(style));
    label->setWordWrap(true);
    setTextColor(label, tertiary ? Theme::current().tertiary() : Theme::current().secondary());
    return label;
}

QWidget* makeSymbolLabel(const QString& symbol, const QString& text, QWidget* parent, const QString& objectName)
{
    auto* box = new QWidget(parent);
    box->setObjectName(objectName);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    auto* icon = new QLabel(box);
    icon->setPixmap(IconMap::pixmap(symbol, Theme::current().secondary(), 13, box->devicePixelRatioF()));
    row->addWidget(icon);
    auto* label = makeSecureCaption(text, TextStyle::Caption, false, box);
    label->setObjectName(objectName.isEmpty() ? QString() : objectName + QStringLiteral("Text"));
    row->addWidget(label, 1);
    return box;
}

QLineEdit* makeSecureLineEdit(const QString& placeholder, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(placeholder);
    field->setFont(Theme::font(13));
    field->setClearButtonEnabled(false);
    return field;
}

QPlainTextEdit* makeReferenceNoteEditor(int minimumHeight, QWidget* parent)
{
    auto* editor = new QPlainTextEdit(parent);
    editor->setFont(Theme::font(14));
    editor->setMinimumHeight(minimumHeight);
    editor->setTabChangesFocus(true);
    const Theme& theme = Theme::current();
    editor->setStyleSheet(QStringLiteral("QPlainTextEdit { background: %1; border: 1px solid %2; border-radius: 10px;"
                                         " padding: 8px; }")
                              .arg(theme.colors().textBackground.name(QColor::HexArgb),
                                   theme.primary(0.1).name(QColor::HexArgb)));
    return editor;
}

SecureSheetHeader addSecureSheetHeader(QBoxLayout* column, bool cardBadge, QWidget* parent)
{
    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(new SecureShieldGlyph(22, parent), 0, Qt::AlignVCenter);
    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    auto* badges = new QHBoxLayout;
    badges->setSpacing(7);
    badges->addWidget(new SecureStatusBadge(false, parent));
    if (cardBadge)
        badges->addWidget(new CreditCardStatusBadge(false, parent));
    badges->addStretch(1);
    text->addLayout(badges);
    auto* title = new QLabel(parent);
    QFont titleFont = Theme::font(TextStyle::Title2);
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    text->addWidget(title);
    QLabel* subtitle = makeSecureCaption(QString(), TextStyle::Caption, false, parent);
    text->addWidget(subtitle);
    header->addLayout(text, 1);
    column->addLayout(header);
    return {title, subtitle};
}

SecureCardFields addSecureCardFields(QBoxLayout* column, const QString& numberPlaceholder, QWidget* parent)
{
    SecureCardFields fields{};
    fields.number = makeSecureLineEdit(numberPlaceholder, parent);
    column->addLayout(makeLabelledField(QStringLiteral("Card number"), fields.number, parent));
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    fields.expiration = makeSecureLineEdit(QStringLiteral("MM/YY"), parent);
    row->addLayout(makeLabelledField(QStringLiteral("Expiration"), fields.expiration, parent));
    fields.code = makeSecureLineEdit(QStringLiteral("3 or 4 digits"), parent);
    row->addLayout(makeLabelledField(QStringLiteral("Code"), fields.code, parent));
    column->addLayout(row);
    return fields;
}

void shapeCardFieldsWhileTyping(const SecureCardFields& fields)
{
    shapeWhileTyping(fields.number, shapedCardNumberInput);
    shapeWhileTyping(fields.expiration, shapedExpirationInput);
    shapeWhileTyping(fields.code, shapedCodeInput);
}

void shapeWhileTyping(QLineEdit* field, QString (*shape)(const QString&))
{
    QObject::connect(field, &QLineEdit::textChanged, field, [field, shape](const QString& text) {
        const QString shaped = shape(text);
        if (shaped != text)
            field->setText(shaped); // shaped text shapes to itself: the second pass changes nothing
    });
}

} // namespace vesk
