#pragma once
// The small pieces every preview section is built from, so all sections share one look.

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace vesk {

struct PreviewSectionContext;

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent);
QPushButton* makeButton(const QString& text, const std::function<void()>& action, QWidget* parent);
// A thin horizontal line in the separator colour.
QWidget* makeDivider(QWidget* parent);
// A top-aligned column without margins: boxes take the full width, buttons sit leading.
QVBoxLayout* makeColumn(QWidget* widget, int spacing);
// A button that opens the file at `path` in its default application.
QPushButton* addOpenButton(QVBoxLayout* column, const QString& title, const QString& path,
    const PreviewSectionContext& context, QWidget* parent);

} // namespace vesk
