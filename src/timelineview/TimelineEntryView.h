#pragma once

#include "timeline/VeskTimelinePhoto.h"

#include <QDateTime>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QMenu;
class QMimeData;

namespace vesk {

class VeskTimelineMediaCache;
class VeskTimelineThumbnail;

// One photo of the person timeline: its date, picture, title and note, the "Drag to move" hint
// and a "Remove" button, on a rounded panel; the "Drop here" marker shows above it while another
// entry is dragged over it. It is a drag source and a drop target; what either does is the
// timeline's (its callbacks).
class TimelineEntryView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(const VeskTimelinePhoto&, bool isCut)> putOnClipboard;
        std::function<bool()> canPaste;
        std::function<void(const QUuid& target)> pasteBefore;
        std::function<void(const QUuid& identity)> remove;
        // Runs the whole drag of this entry (it returns when the drag has ended).
        std::function<void(const VeskTimelinePhoto&)> drag;
        // A drag enters (true) or leaves (false) this entry.
        std::function<void(const QUuid& identity, bool inside)> hover;
        // A drop on this entry; true when it was taken.
        std::function<bool(const QMimeData* payload, const QUuid& target)> drop;
    };

    TimelineEntryView(const VeskTimelinePhoto& photo, const std::optional<QDateTime>& photoDate,
                      VeskTimelineMediaCache& cache, Actions actions, QWidget* parent = nullptr);

    const VeskTimelinePhoto& photo() const { return m_photo; }
    QUuid identity() const { return m_photo.identity(); }

    void setMarkerShown(bool shown);
    bool markerShown() const;

    // The entry's context menu, as right-clicking shows it.
    QMenu* makeContextMenu(QWidget* parent);

    // The texts shown, for tests and accessibility.
    QString dateText() const;
    QString importedText() const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    VeskTimelinePhoto m_photo;
    Actions m_actions;
    QWidget* m_marker = nullptr;
    QLabel* m_date = nullptr;
    QLabel* m_imported = nullptr;
    std::optional<QPoint> m_pressAt;
};

} // namespace vesk
