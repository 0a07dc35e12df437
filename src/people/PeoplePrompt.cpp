#include "people/PeoplePrompt.h"

#include "people/PeopleParts.h"
#include "people/PeopleRules.h"
#include "platform/ui/ControlText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

PeoplePrompt::PeoplePrompt(const QString& title, const QString& message, const QString& confirmText,
                           const QString& name, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(380);
    const Theme& theme = Theme::current();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 18, 20, 16);
    column->setSpacing(10);
    column->addWidget(styledLabel(title, TextStyle::Headline, QFont::Bold, theme.label(), this));
    QLabel* text = styledLabel(message, TextStyle::Subheadline, QFont::Normal, theme.secondary(), this);
    text->setWordWrap(true);
    column->addWidget(text);
    m_field = new QLineEdit(name, this);
    m_field->setPlaceholderText(QStringLiteral("Name"));
    m_field->setAccessibleName(QStringLiteral("Name"));
    column->addWidget(m_field);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    m_confirm = new QPushButton(controlText(confirmText), this);
    m_confirm->setProperty("veskRole", "prominent");
    m_confirm->setDefault(true);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    column->addLayout(buttons);

    const auto follow = [this] { m_confirm->setEnabled(isSubmittableName(m_field->text())); };
    connect(m_field, &QLineEdit::textChanged, this, follow);
    follow();
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_confirm, &QPushButton::clicked, this, [this] {
        if (isSubmittableName(m_field->text()))
            accept();
    });
}

} // namespace vesk
