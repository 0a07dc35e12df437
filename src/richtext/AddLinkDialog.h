#pragma once
// The modal "Add Link" prompt: one field for the web address, "Add Link" and "Cancel".

#include <QString>
#include <optional>

class QWidget;

namespace vesk {

// The text in the field when "Add Link" was chosen; none for Cancel.
std::optional<QString> runAddLinkDialog(QWidget* parent, const QString& prefill);

} // namespace vesk
