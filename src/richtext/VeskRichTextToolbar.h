#pragma once
// The row of formatting chips shown with every rich-text editor: 14 controls in 5 groups. It shows
// one controller's state and calls its commands; it holds no formatting logic of its own.

#include "richtext/VeskRichTextController.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class QToolButton;

namespace vesk {

// The size menu's label for a size: whole points, fraction dropped ("16 pt" for 16.5).
QString pointSizeLabel(qreal points);
// Whether a size menu entry carries the check mark for the current size.
bool isCurrentSizeEntry(int entry, qreal currentPointSize);

class VeskRichTextToolbar : public QWidget {
    Q_OBJECT

public:
    // Both hosts offer these sizes.
    static QList<int> standardSizes() { return {12, 14, 15, 18, 22, 28, 32}; }

    VeskRichTextToolbar(VeskRichTextController* controller, QList<int> sizes = standardSizes(),
                        QWidget* parent = nullptr);

    // The chip with this object name ("bold", "italic", "underline", "heading", "body", "size",
    // "bulleted", "numbered", "checklist", "radio", "alignLeft", "alignCenter", "alignRight", "link").
    QToolButton* control(const QString& name) const;
    static bool isActive(const QToolButton* chip);

private:
    QToolButton* addIconChip(const QString& name, const QString& symbol, const QString& help);
    QToolButton* addTextChip(const QString& name, const QString& text, const QString& help);
    void addDivider();
    void updateChips();
    void rebuildSizeMenu();

    QPointer<VeskRichTextController> m_controller;
    QList<int> m_sizes;
    struct Chip {
        QToolButton* button = nullptr;
        QString symbol;  // empty for a word chip
    };
    QList<Chip> m_chips;
    QToolButton* m_sizeButton = nullptr;
};

} // namespace vesk
