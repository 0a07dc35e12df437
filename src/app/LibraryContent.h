#pragma once
// The library view's content: the card grid as the library column and the preview pane as the
// detail column, in the resizable split. The grid keeps its own copy of the browsing state it
// draws from; this keeps it and the window's state in step both ways.

#include <QWidget>
#include <memory>

namespace vesk {

class VeskStore;
class MainWindowState;
class Settings;
class LibraryGridView;
class SplitLayout;
class VeskPreview;

class LibraryContent : public QWidget {
    Q_OBJECT
public:
    LibraryContent(VeskStore& store, MainWindowState& state, std::shared_ptr<Settings> settings,
                   QWidget* parent = nullptr);

    LibraryGridView* grid() const { return m_grid; }
    VeskPreview* preview() const { return m_preview; }
    SplitLayout* split() const { return m_split; }

private:
    LibraryGridView* m_grid = nullptr;
    VeskPreview* m_preview = nullptr;
    SplitLayout* m_split = nullptr;
};

} // namespace vesk
