#pragma once

#include "editor/MarkupEditorState.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QMap>

class QLabel;
class QPushButton;
class QSlider;

namespace vesk {

class MarkupCanvas;

// The markup sheet: the canvas on the left and a sidebar with the tools, the stroke colour and
// width, undo and redo, delete and clear. It hands its element list back through `applied` and
// never closes itself; the host decides what follows Cancel and Apply Markup.
class VeskMarkupEditor : public QDialog {
    Q_OBJECT
public:
    explicit VeskMarkupEditor(const QImage& image, QWidget* parent = nullptr);

    MarkupEditorState& state() { return m_state; }
    MarkupCanvas* canvas() const { return m_canvas; }

    void selectTool(VeskMarkupTool tool);
    void setStrokeColor(const QColor& color);
    void setStrokeWidth(double width);

signals:
    void cancelled();
    void applied(const QList<vesk::VeskMarkupElement>& elements);

private:
    QWidget* makeHeader();
    QWidget* makeSidebar();
    // Enablement, the current tool's highlight and the width readout after any change.
    void refresh();
    void openColorPicker();

    MarkupEditorState m_state;
    MarkupCanvas* m_canvas = nullptr;
    QMap<VeskMarkupTool, QPushButton*> m_toolButtons;
    QPushButton* m_colorButton = nullptr;
    QLabel* m_widthValue = nullptr;
    QSlider* m_widthSlider = nullptr;
    QPushButton* m_undoButton = nullptr;
    QPushButton* m_redoButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_clearButton = nullptr;
};

} // namespace vesk
