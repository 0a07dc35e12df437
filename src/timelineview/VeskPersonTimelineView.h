#pragma once

#include "platform/CoalescedCall.h"
#include "timeline/PersonTimelineModel.h"
#include "timelineview/TimelineDragDrop.h"
#include "timelineview/TimelineExportFlow.h"

#include <QDialog>
#include <QList>
#include <memory>

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace vesk {

class Settings;
class TimelineEntryView;
class VeskTimelineEdgeScroller;
class VeskTimelineMediaCache;

// The person timeline sheet, "Through the Years": pick a named person, browse their photographs
// oldest first, rearrange them by dragging or with cut, copy and paste, take photos out of the
// timeline, and export it as a photo-book PDF. The library itself is never changed.
class VeskPersonTimelineView : public QDialog {
    Q_OBJECT
public:
    struct Services {
        PersonTimelineModel::Sources sources;
        std::shared_ptr<Settings> settings;
        std::shared_ptr<VeskTimelineMediaCache> media;
        TimelineExportFlow::DestinationChooser chooseDestination = choosePhotoBookDestination;
        TimelineExportFlow::FileRevealer revealFile;
    };

    explicit VeskPersonTimelineView(Services services, QWidget* parent = nullptr);
    ~VeskPersonTimelineView() override;

    PersonTimelineModel& model() { return *m_model; }
    TimelineExportFlow& exportFlow() { return *m_export; }
    VeskTimelineEdgeScroller& edgeScroller() { return *m_edgeScroller; }
    const TimelineDragState& dragState() const { return m_drag; }

    // Draws the timeline again from the model; changes of the library call it too. Several calls
    // in one turn of the event loop draw once.
    void scheduleRefresh();
    void refreshNow();

    // The pieces tests look at.
    QComboBox* personPicker() const { return m_picker; }
    QLabel* countLabel() const { return m_count; }
    QPushButton* pasteAtEndButton() const { return m_pasteAtEnd; }
    QPushButton* arrangeButton() const { return m_arrange; }
    QAction* restoreOrderAction() const { return m_restoreOrder; }
    QAction* restoreRemovedAction() const { return m_restoreRemoved; }
    QPushButton* exportButton() const { return m_exportButton; }
    // "No named people yet" or "No photos in this timeline", with its description; empty while the
    // list shows.
    QString emptyStateTitle() const;
    QString emptyStateDescription() const;
    QList<TimelineEntryView*> entries() const { return m_entries; }

    // Drag and drop of entries.
    std::unique_ptr<QMimeData> beginTimelineDrag(const VeskTimelinePhoto& entry);
    void hoverEntry(const QUuid& entry, bool inside);
    bool handleTimelineDrop(const QMimeData* payload, const std::optional<QUuid>& target);
    // However the drag of an entry ended.
    void endTimelineDrag();

    void exportPhotoBook();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildControls();
    QWidget* buildContent();
    void rebuildEntries(const QList<VeskTimelinePhoto>& photos);
    void runDrag(const VeskTimelinePhoto& entry);
    void updateMarkers();

    Services m_services;
    std::unique_ptr<PersonTimelineModel> m_model;
    TimelineExportFlow* m_export = nullptr;
    VeskTimelineEdgeScroller* m_edgeScroller = nullptr;
    TimelineDragState m_drag;
    CoalescedCall m_refresh{this, [this] { refreshNow(); }};
    bool m_dragRunning = false;
    bool m_updatingPicker = false;

    QComboBox* m_picker = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_pasteAtEnd = nullptr;
    QPushButton* m_arrange = nullptr;
    QAction* m_restoreOrder = nullptr;
    QAction* m_restoreRemoved = nullptr;
    QPushButton* m_exportButton = nullptr;
    QStackedWidget* m_content = nullptr;
    QLabel* m_emptySymbol = nullptr;
    QLabel* m_emptyTitle = nullptr;
    QLabel* m_emptyDescription = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_list = nullptr;
    QVBoxLayout* m_listLayout = nullptr;
    QList<TimelineEntryView*> m_entries;
    QList<VeskTimelinePhoto> m_shownPhotos;
};

} // namespace vesk
