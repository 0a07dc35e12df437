#include "app/NamePrompt.h"

#include "platform/ui/Theme.h"
#include "platform/ui/ControlText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

NamePrompt::NamePrompt(const NamePromptTexts& texts, const QString& initialText, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(texts.title);
    setMinimumWidth(320);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 16);
    column->setSpacing(10);

    m_title = new QLabel(texts.title, this);
    m_title->setFont(Theme::font(TextStyle::Headline));
    m_title->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_title);

    m_message = new QLabel(texts.message, this);
    m_message->setFont(Theme::font(TextStyle::Subheadline));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_message);

    m_field = new QLineEdit(initialText, this);
    m_field->setPlaceholderText(texts.placeholder);
    m_field->selectAll();
    column->addWidget(m_field);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    m_confirm = new QPushButton(controlText(texts.confirmTitle), this);
    m_confirm->setDefault(true);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    column->addLayout(buttons);

    const auto updateConfirm = [this] { m_confirm->setEnabled(!m_field->text().trimmed().isEmpty()); };
    updateConfirm();
    connect(m_field, &QLineEdit::textChanged, this, [this, updateConfirm](const QString& text) {
        updateConfirm();
        emit textEdited(text);
    });
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (m_confirm->isEnabled())
            m_confirm->click();
    });
    connect(m_confirm, &QPushButton::clicked, this, [this] { finishWith(&NamePrompt::confirmed, true); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { finishWith(&NamePrompt::cancelled, false); });
}

QString NamePrompt::titleText() const
{
    return m_title->text();
}

void NamePrompt::finishWith(void (NamePrompt::*signal)(), bool accepted)
{
    // The action may already have closed the prompt (its state flag cleared); it is closed once.
    QPointer<NamePrompt> self(this);
    emit(this->*signal)();
    if (!self || !isVisible())
        return;
    if (accepted)
        accept();
    else
        reject();
}

} // namespace vesk
