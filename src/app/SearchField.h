#pragma once
// The header's search field: edits the store's search text directly (no copy of its own), takes
// the user to the top result on Return, and clears with its button. The header bar draws the
// glass capsule behind it.

#include <QWidget>

class QLineEdit;
class QToolButton;
class QLabel;

namespace vesk {

class VeskStore;
class MainWindowState;

class SearchField : public QWidget {
    Q_OBJECT
public:
    SearchField(VeskStore& store, MainWindowState& state, QWidget* parent = nullptr);

    // The capsule's frame.
    static constexpr int capsuleWidth = 416;
    static constexpr int capsuleHeight = 36;

    // Return: with a non-blank search and at least one hit, selects the top hit, pulses the grid
    // and hands the keyboard to the grid; otherwise nothing happens and the field keeps focus.
    void submitSearch();
    // The clear button: empties the store's search text; focus stays where it is.
    void clearSearch();

    QLineEdit* lineEdit() const { return m_edit; }
    QToolButton* clearButton() const { return m_clear; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncFromStore();
    void syncFocusFromState();
    void refreshSymbols();

    VeskStore& m_store;
    MainWindowState& m_state;
    QLabel* m_symbol = nullptr;
    QLineEdit* m_edit = nullptr;
    QToolButton* m_clear = nullptr;
};

} // namespace vesk
