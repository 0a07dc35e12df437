#pragma once

#include "pane/SearchBackdrop.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class QTimer;
class QVariantAnimation;

namespace vesk {

class Settings;

// The thin strip between the library and the preview column. A press starts a drag measured in
// global coordinates; the translation is reported while it moves and once when it ends.
class PreviewResizeHandle : public QWidget {
    Q_OBJECT
public:
    explicit PreviewResizeHandle(QWidget* parent = nullptr);
    QSize sizeHint() const override;

signals:
    void dragMoved(double translation);
    void dragEnded(double translation);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_dragging = false;
    double m_startX = 0;
};

// The main window's content while the library has items: the library column, the drag handle
// and the preview column, whose width the user drags between 300 and 700 points. The width is
// read from "veskPreviewPaneWidth" and written back once, when a drag ends. While a search runs,
// a soft backdrop fades in behind both columns.
class SplitLayout : public QWidget {
    Q_OBJECT
public:
    SplitLayout(std::shared_ptr<Settings> settings, QWidget* libraryColumn, QWidget* previewColumn,
        QWidget* parent = nullptr);

    // The stored width as read (not clamped) and the live drag translation.
    double storedWidth() const { return m_storedWidth; }
    double dragTranslation() const { return m_dragTranslation; }
    // What the preview column is given right now.
    double previewWidth() const;

    PreviewResizeHandle* handle() const { return m_handle; }
    QWidget* libraryColumn() const { return m_library; }
    QWidget* previewColumn() const { return m_preview; }

    // Follows the store's search text: not empty means searching.
    void setSearching(bool searching);
    bool isSearching() const { return m_searching; }
    // The grid's surface pulse brightens the backdrop's glow.
    void setSurfacePulse(bool pulse);

    // The live drag and its end; the handle calls these, and so can a test.
    void updateDrag(double translation);
    void commitDrag(double translation);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutColumns();

    std::shared_ptr<Settings> m_settings;
    QPointer<QWidget> m_library;
    QPointer<QWidget> m_preview;
    PreviewResizeHandle* m_handle = nullptr;
    double m_storedWidth = 0;
    double m_dragTranslation = 0;
    bool m_searching = false;
    bool m_pulse = false;
    double m_backdropOpacity = 0;
    double m_glowOpacity = 0.035;
    QVariantAnimation* m_fade = nullptr;
    QVariantAnimation* m_glow = nullptr;
    SearchBackdrop m_backdrop;
    // The backdrop's pictures are painted once the layout has rested at its size.
    QTimer* m_prepareBackdrop = nullptr;
};

} // namespace vesk
