#pragma once
// The formatting state and commands of one rich-text editor. The host owns one controller for the
// life of its view and hands it to the editor (which attaches its QTextEdit) and to the toolbar
// (which shows the state and calls the commands). Without an attached text edit every command does
// nothing. Main thread only.

#include "richtext/RichTextLists.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class QTextDocument;
#include <QTextEdit>
class QWidget;

namespace vesk {

enum class FontTrait { bold, italic };
enum class RichTextAlignment { left, center, right };

class VeskRichTextController : public QObject {
    Q_OBJECT

public:
    explicit VeskRichTextController(QObject* parent = nullptr);

    QTextEdit* textView() const { return m_textView.data(); }
    void setTextView(QTextEdit* textView) { m_textView = textView; }

    // Published state: each value changes only through refreshState and signals only on change.
    bool isBold() const { return m_isBold; }
    bool isItalic() const { return m_isItalic; }
    bool isUnderline() const { return m_isUnderline; }
    bool isHeading() const { return m_isHeading; }
    bool isBody() const { return m_isBody; }
    qreal currentPointSize() const { return m_currentPointSize; }
    bool isBulletedList() const { return m_isBulletedList; }
    bool isNumberedList() const { return m_isNumberedList; }
    bool isChecklist() const { return m_isChecklist; }
    bool isRadioList() const { return m_isRadioList; }
    bool isLeftAligned() const { return m_isLeftAligned; }
    bool isCenterAligned() const { return m_isCenterAligned; }
    bool isRightAligned() const { return m_isRightAligned; }
    bool isLink() const { return m_isLink; }

    void refreshState();
    void toggleFontTrait(FontTrait trait);
    void toggleUnderline();
    void setPointSize(qreal points);
    void applyHeading();
    void applyBody();
    void setAlignment(RichTextAlignment alignment);
    void applyList(RichTextListKind kind);
    void addLinkToSelection();

    // Seams for the "Add Link" prompt and the refusal sound. The prompt gets the pre-filled address
    // and answers the typed one, or none when cancelled.
    using LinkPrompt = std::function<std::optional<QString>(QWidget* parent, const QString& prefill)>;
    void setLinkPrompt(LinkPrompt prompt) { m_linkPrompt = std::move(prompt); }
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }

signals:
    void isBoldChanged(bool value);
    void isItalicChanged(bool value);
    void isUnderlineChanged(bool value);
    void isHeadingChanged(bool value);
    void isBodyChanged(bool value);
    void currentPointSizeChanged(qreal value);
    void isBulletedListChanged(bool value);
    void isNumberedListChanged(bool value);
    void isChecklistChanged(bool value);
    void isRadioListChanged(bool value);
    void isLeftAlignedChanged(bool value);
    void isCenterAlignedChanged(bool value);
    void isRightAlignedChanged(bool value);
    void isLinkChanged(bool value);
    // After any published value changed in one refresh.
    void stateChanged();

private:
    void beep();
    // Restyles every run of the paragraphs the selection touches, as one undo step.
    void restyleSelectedParagraphs(const std::function<void(QTextCharFormat&)>& restyle);
    // The paragraph range of the current selection, in document positions.
    struct Selection {
        int start = 0;
        int length = 0;
    };
    Selection selection() const;

    QPointer<QTextEdit> m_textView;
    LinkPrompt m_linkPrompt;
    std::function<void()> m_beep;

    bool m_isBold = false;
    bool m_isItalic = false;
    bool m_isUnderline = false;
    bool m_isHeading = false;
    bool m_isBody = true;
    qreal m_currentPointSize = 15;
    bool m_isBulletedList = false;
    bool m_isNumberedList = false;
    bool m_isChecklist = false;
    bool m_isRadioList = false;
    bool m_isLeftAligned = true;
    bool m_isCenterAligned = false;
    bool m_isRightAligned = false;
    bool m_isLink = false;
};

} // namespace vesk
