#pragma once
// "Clean Up Filenames": every proposed title change as the old title above the new one, applied
// all at once with "Apply Changes" or left with "Close"/"Cancel". The proposals are the window
// state's, computed once when the sheet opened. After applying, the window shows how many titles
// changed in a completion alert ("Filename Cleanup Complete").

#include <QDialog>
#include <QPointer>

class QLabel;
class QListWidget;
class QMessageBox;
class QPushButton;

namespace vesk {

class MainWindow;
class MainWindowState;
class VeskStore;

class FilenameCleanupSheet : public QDialog {
    Q_OBJECT
public:
    FilenameCleanupSheet(VeskStore& store, MainWindowState& state, QWidget* parent = nullptr);

    QPushButton* closeButton() const { return m_close; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* applyButton() const { return m_apply; }
    // The headline ("n titles will change"); none while there is nothing to clean up.
    QLabel* headline() const { return m_headline; }
    QListWidget* list() const { return m_list; }
    QWidget* emptyState() const { return m_empty; }

private:
    QPointer<VeskStore> m_store;
    QPointer<MainWindowState> m_state;
    QPushButton* m_close = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_headline = nullptr;
    QListWidget* m_list = nullptr;
    QWidget* m_empty = nullptr;
};

// The sheet for the main window.
QDialog* makeFilenameCleanupSheet(MainWindow& window);

// Shows the completion alert whenever the window state holds a finished count, and clears the
// count when the alert closes in any way.
class CleanupCompletionAlert : public QObject {
    Q_OBJECT
public:
    CleanupCompletionAlert(MainWindowState& state, QWidget* window);
    QMessageBox* alert() const;

private:
    void follow();

    MainWindowState& m_state;
    QWidget* m_window;
    QPointer<QMessageBox> m_alert;
};

} // namespace vesk
