#include "secureview/SecureFormParts.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

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

QPushButton* makeProminentSheetButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    const Theme& theme = Theme::current();
    button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border-radius: 6px; padding: 4px 14px; }"
                                         "QPushButton:disabled { background: %2; }")
                              .arg(theme.accent().name(QColor::HexArgb), theme.accent(0.35).name(QColor::HexArgb)));
    return button;
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
