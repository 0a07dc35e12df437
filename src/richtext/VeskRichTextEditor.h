#pragma once
// The editable rich-text view used by the "New Vesk" composer and the item edit sheet. The host
// keeps the value (an attributed text); the editor shows it, reports every edit back, and applies
// the Vesk rules while typing: colours follow the theme, links are found, checklist glyphs are
// styled, and Return continues checkbox and radio lists.

#include "richtext/VeskRichTextController.h"

#include <QPointer>
#include <QTextEdit>
#include <QWidget>
#include <memory>

class QMimeData;
class QTextDocument;

namespace vesk {

// The text edit inside the editor: Return and paste follow Vesk's rules.
class VeskRichTextEditView : public QTextEdit {
    Q_OBJECT
public:
    explicit VeskRichTextEditView(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};

class VeskRichTextEditor : public QWidget {
    Q_OBJECT

public:
    VeskRichTextEditor(VeskRichTextController* controller, QWidget* parent = nullptr);

    // An outside change of the host's value: the shown text is replaced only when it differs, and
    // the caret stays where it was, clamped to the new length.
    void setAttributedText(const QTextDocument& text);
    // A copy of the text as it stands.
    std::unique_ptr<QTextDocument> attributedText() const;
    QString plainText() const;
    QTextEdit* textView() const { return m_textView; }
    VeskRichTextController* controller() const { return m_controller; }

signals:
    // After every edit, once the display pass has run.
    void attributedTextChanged();

private:
    void textDidChange();
    void displayPass();
    void scheduleRefresh();
    void dropLinkAtCaret();

    QPointer<VeskRichTextController> m_controller;
    VeskRichTextEditView* m_textView = nullptr;
    bool m_inDisplayPass = false;
};

} // namespace vesk
