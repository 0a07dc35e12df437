#pragma once
// The "New Vesk" composer: a window-modal sheet in which the user writes a rich-text note,
// optionally names it, and keeps it with "Vesk It". The note's plain text and its RTF go to the
// store's rich-text intake, which names, checks and adds it.
//
// Wiring: the main window presents it for SheetFlag::TextCapture:
//     window.setSheetFactory(SheetFlag::TextCapture, makeTextCaptureSheet);
// and MainWindow::openTextCapture (the header's "New Vesk", the drop zone's "Create a text Vesk")
// resets the drafts and raises the flag.

#include <QDialog>
#include <QPointer>

#include "platform/Timers.h"
#include "richtext/VeskRichTextEditor.h"
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextDocument;

namespace vesk {

class MainWindow;
class MainWindowState;
class VeskRichTextController;

class VeskRichTextToolbar;
class VeskStore;

class TextCaptureSheet : public QDialog {
    Q_OBJECT

public:
    // Where a kept note goes: the store's addRichTextNote in the application. It answers why the
    // note was refused (possibly in no words), or none when it was taken.
    using NoteSink = std::function<std::optional<QString>(const std::optional<QString>& title, const QString& plainText,
                                                          const std::optional<QByteArray>& rtf)>;

    // The drafts (name and note) live in the window state, so they outlast the sheet until the
    // next opening resets them.
    // timers: SystemTimers when null.
    TextCaptureSheet(MainWindowState& state, NoteSink sink, QWidget* parent = nullptr,
                     std::shared_ptr<Timers> timers = nullptr);
    ~TextCaptureSheet() override;

    QLineEdit* nameField() const { return m_nameField; }
    VeskRichTextEditor* editor() const { return m_editor; }
    VeskRichTextToolbar* toolbar() const { return m_toolbar; }
    VeskRichTextController* controller() const { return m_controller; }
    QPushButton* keepButton() const { return m_keepButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    // "Vesk It": hands the note to the sink and closes; when the sink refuses it, stays open as
    // typed and says why.
    void saveTextCapture();
    QLabel* failureLine() const { return m_failure; }

    // The draft is copied and serialised this long after the last edit (and when the sheet
    // closes), not on every key: a long note takes tens of milliseconds to serialise.
    static constexpr int draftDebounceMs = 300;

    void done(int result) override;

private:
    void noteChanged();
    // Copies the editor's note into the draft and the window state.
    void keepDraft();
    QString draftPlainText() const;

    QPointer<MainWindowState> m_state;
    NoteSink m_sink;
    VeskRichTextController* m_controller = nullptr;
    QLineEdit* m_nameField = nullptr;
    VeskRichTextToolbar* m_toolbar = nullptr;
    QPointer<VeskRichTextEditor> m_editor;
    QPushButton* m_keepButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QLabel* m_failure = nullptr;
    // The note as last kept as a draft: what is kept should the editor be gone.
    std::unique_ptr<QTextDocument> m_draft;
    std::shared_ptr<Timers> m_timers;
    std::shared_ptr<PendingDelay> m_pendingDraft;
};

// The sheet for the main window, writing through its store.
QDialog* makeTextCaptureSheet(MainWindow& window);

} // namespace vesk
