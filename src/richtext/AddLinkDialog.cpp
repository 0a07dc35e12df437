#include "richtext/AddLinkDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

std::optional<QString> runAddLinkDialog(QWidget* parent, const QString& prefill)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Add Link"));
    dialog.setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(&dialog);
    auto* message = new QLabel(QStringLiteral("Add Link"), &dialog);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    layout->addWidget(message);
    layout->addWidget(new QLabel(QStringLiteral("Enter the web address for the selected text."), &dialog));

    auto* field = new QLineEdit(&dialog);
    field->setFixedSize(360, 24);
    field->setPlaceholderText(QStringLiteral("example.com"));
    field->setText(prefill);
    layout->addWidget(field);

    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* add = buttons->addButton(QStringLiteral("Add Link"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    add->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return field->text();
}

} // namespace vesk
