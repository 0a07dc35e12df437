#pragma once
// The library view: the content shown while the library holds items (the results grid with its
// preview column), and over it the dashed drop highlight while a drag hovers.
//
// The content itself (grid and preview column, see LibraryContent) comes from a
// LibraryContentFactory, so a window can be built around other content.

#include <QWidget>
#include <functional>

namespace vesk {

class VeskStore;
class MainWindowState;

using LibraryContentFactory = std::function<QWidget*(VeskStore& store, MainWindowState& state, QWidget* parent)>;

// Drawn over the library view while MainWindowState::isTargeted: an accent-tinted rounded
// rectangle with a dashed accent edge, 16 points inside the view.
class DropTargetHighlight : public QWidget {
    Q_OBJECT
public:
    explicit DropTargetHighlight(MainWindowState& state, QWidget* parent = nullptr);
    static constexpr qreal inset = 16;
    static constexpr qreal radius = 26;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainWindowState& m_state;
};

class LibraryViewHost : public QWidget {
    Q_OBJECT
public:
    LibraryViewHost(VeskStore& store, MainWindowState& state, const LibraryContentFactory& factory,
                    QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    DropTargetHighlight* highlight() const { return m_highlight; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_content = nullptr;
    DropTargetHighlight* m_highlight = nullptr;
};

} // namespace vesk
