#include "timelineview/VeskPersonTimelineView.h"

#include "platform/Settings.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "timeline/VeskTimelineMediaCache.h"
#include "timelineview/TimelineEntryView.h"
#include "timelineview/VeskTimelineEdgeScroller.h"

#include <QApplication>
#include <QComboBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace vesk {

namespace {

// The list under the entries: a drop between or after them sends the entry to the end.
class TimelineList : public QWidget {
public:
    TimelineList(QWidget* parent, std::function<bool(const QMimeData*)> drop)
        : QWidget(parent), m_drop(std::move(drop))
    {
        setAcceptDrops(true);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasText())
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (event->mimeData()->hasText())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        if (m_drop(event->mimeData()))
            event->acceptProposedAction();
        else
            event->ignore();
    }

private:
    std::function<bool(const QMimeData*)> m_drop;
};

} // namespace

VeskPersonTimelineView::VeskPersonTimelineView(Services services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services))
{
    setWindowTitle(QStringLiteral("Through the Years"));
    setMinimumSize(900, 650);
    if (!m_services.settings)
        m_services.settings = std::make_shared<MemorySettings>();
    if (!m_services.media)
        m_services.media = std::make_shared<VeskTimelineMediaCache>();
    if (!m_services.sources.photoDate) {
        const std::shared_ptr<VeskTimelineMediaCache> media = m_services.media;
        m_services.sources.photoDate = [media](const VeskItem& item) { return media->photoDate(item); };
    }
    m_model = std::make_unique<PersonTimelineModel>(m_services.sources, *m_services.settings);
    m_model->setOnChange([this] { scheduleRefresh(); });
    m_export = new TimelineExportFlow(this, m_services.media, m_services.chooseDestination, m_services.revealFile);
    connect(m_export, &TimelineExportFlow::exportingChanged, this, [this] { scheduleRefresh(); });
    m_edgeScroller = new VeskTimelineEdgeScroller(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    column->addWidget(horizontalDivider(this));
    column->addWidget(buildControls());
    column->addWidget(horizontalDivider(this));
    column->addWidget(buildContent(), 1);
    refreshNow();
}

VeskPersonTimelineView::~VeskPersonTimelineView()
{
    endTimelineDrag();
}

QWidget* VeskPersonTimelineView::buildHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(20, 20, 20, 20);
    row->setSpacing(12);
    row->addWidget(sheetTitleBlock(QStringLiteral("Through the Years"),
                                   QStringLiteral("Drag near the top or bottom edge to scroll through the years"), header));
    row->addStretch(1);
    QPushButton* done = borderedButton(QStringLiteral("Done"), QString(), header);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(done);
    return header;
}

QWidget* VeskPersonTimelineView::buildControls()
{
    auto* controls = new QWidget(this);
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(20, 12, 20, 12);
    row->setSpacing(12);
    row->addWidget(styledLabel(QStringLiteral("Person"), TextStyle::Subheadline, controls, false, QFont::DemiBold));
    m_picker = new QComboBox(controls);
    m_picker->setMaximumWidth(270);
    m_picker->setMinimumWidth(160);
    m_picker->setAccessibleName(QStringLiteral("Person"));
    connect(m_picker, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_updatingPicker || index < 0)
            return;
        m_model->setSelectedPersonID(m_picker->itemData(index).toUuid());
    });
    row->addWidget(m_picker);
    row->addStretch(1);
    m_count = styledLabel(QString(), TextStyle::Body, controls, true);
    row->addWidget(m_count);
    m_pasteAtEnd = borderedButton(QStringLiteral("Paste at End"), QString(), controls);
    connect(m_pasteAtEnd, &QPushButton::clicked, this, [this] { m_model->paste(std::nullopt); });
    row->addWidget(m_pasteAtEnd);

    m_arrange = borderedButton(QStringLiteral("Arrange"), QString(), controls);
    auto* menu = new QMenu(m_arrange);
    m_restoreOrder = menu->addAction(QStringLiteral("Restore Chronological Order"),
                                     [this] { m_model->restoreChronologicalOrder(); });
    m_restoreRemoved = menu->addAction(QStringLiteral("Restore Removed Photos (0)"),
                                       [this] { m_model->restoreRemovedPhotos(); });
    m_arrange->setMenu(menu);
    row->addWidget(m_arrange);

    m_exportButton = borderedButton(QStringLiteral("Export Photo Book PDF…"), QString(), controls, true);
    connect(m_exportButton, &QPushButton::clicked, this, &VeskPersonTimelineView::exportPhotoBook);
    row->addWidget(m_exportButton);
    return controls;
}

QWidget* VeskPersonTimelineView::buildContent()
{
    m_content = new QStackedWidget(this);

    auto* empty = new QWidget(m_content);
    auto* emptyColumn = new QVBoxLayout(empty);
    emptyColumn->setSpacing(10);
    emptyColumn->addStretch(1);
    m_emptySymbol = new QLabel(empty);
    emptyColumn->addWidget(m_emptySymbol, 0, Qt::AlignHCenter);
    m_emptyTitle = styledLabel(QString(), TextStyle::Title2, empty, false, QFont::Bold);
    emptyColumn->addWidget(m_emptyTitle, 0, Qt::AlignHCenter);
    m_emptyDescription = styledLabel(QString(), TextStyle::Body, empty, true);
    m_emptyDescription->setAlignment(Qt::AlignHCenter);
    m_emptyDescription->setWordWrap(true);
    emptyColumn->addWidget(m_emptyDescription);
    emptyColumn->addStretch(1);
    m_content->addWidget(empty);

    m_scroll = new QScrollArea(m_content);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list = new TimelineList(m_scroll, [this](const QMimeData* payload) {
        return handleTimelineDrop(payload, std::nullopt);
    });
    m_listLayout = new QVBoxLayout(m_list);
    m_listLayout->setContentsMargins(20, 20, 20, 20);
    m_listLayout->setSpacing(20);
    m_listLayout->addStretch(1);
    m_scroll->setWidget(m_list);
    m_content->addWidget(m_scroll);
    m_edgeScroller->setScrollArea(m_scroll);
    return m_content;
}

void VeskPersonTimelineView::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_model->loadEdits();
}

void VeskPersonTimelineView::hideEvent(QHideEvent* event)
{
    endTimelineDrag();
    QDialog::hideEvent(event);
}

void VeskPersonTimelineView::scheduleRefresh()
{
    m_refresh.request();
}

void VeskPersonTimelineView::refreshNow()
{
    m_refresh.settle();
    const std::optional<TimelinePerson> person = m_model->selectedPerson();
    const QList<TimelinePerson> persons = m_services.sources.persons ? m_services.sources.persons()
                                                                     : QList<TimelinePerson>();
    m_updatingPicker = true;
    m_picker->clear();
    for (const TimelinePerson& each : persons)
        m_picker->addItem(each.name, QVariant::fromValue(each.id));
    m_picker->setCurrentIndex(person ? m_picker->findData(QVariant::fromValue(person->id)) : -1);
    m_updatingPicker = false;

    const QList<VeskTimelinePhoto> displayed = m_model->displayedPhotos();
    const int removed = m_model->removedPhotoCount();
    m_count->setText(QString::number(displayed.size()) + QStringLiteral(" photos"));
    m_pasteAtEnd->setEnabled(m_model->canPaste());
    m_arrange->setEnabled(person.has_value());
    m_restoreOrder->setEnabled(!m_model->currentEdits().order.isEmpty());
    m_restoreRemoved->setText(QStringLiteral("Restore Removed Photos (") + QString::number(removed)
                              + QLatin1Char(')'));
    m_restoreRemoved->setEnabled(removed > 0);
    m_exportButton->setEnabled(person && !displayed.isEmpty() && !m_export->exporting());

    const Theme& theme = Theme::current();
    auto showEmpty = [&](const QString& symbol, const QString& title, const QString& description) {
        m_emptySymbol->setPixmap(IconMap::pixmap(symbol, theme.tertiary(), 44, devicePixelRatioF()));
        m_emptyTitle->setText(title);
        m_emptyDescription->setText(description);
        m_content->setCurrentIndex(0);
    };
    if (persons.isEmpty()) {
        showEmpty(QStringLiteral("person.crop.rectangle.stack"), QStringLiteral("No named people yet"),
                  QStringLiteral("Open People and confirm photographs for a named person first."));
        rebuildEntries({});
    } else if (!displayed.isEmpty()) {
        m_content->setCurrentIndex(1);
        rebuildEntries(displayed);
    } else {
        showEmpty(QStringLiteral("photo.on.rectangle"), QStringLiteral("No photos in this timeline"),
                  removed >= 1 ? QStringLiteral("Use Arrange → Restore Removed Photos to show them again.")
                               : QStringLiteral("Confirm faces in People to build this timeline."));
        rebuildEntries({});
    }
}

QString VeskPersonTimelineView::emptyStateTitle() const
{
    return m_content->currentIndex() == 0 ? m_emptyTitle->text() : QString();
}

QString VeskPersonTimelineView::emptyStateDescription() const
{
    return m_content->currentIndex() == 0 ? m_emptyDescription->text() : QString();
}

void VeskPersonTimelineView::rebuildEntries(const QList<VeskTimelinePhoto>& photos)
{
    if (m_dragRunning) {
        updateMarkers();
        return;
    }
    // A copy or a cut changes no entry: a long timeline is not rebuilt for it.
    if (photos == m_shownPhotos && m_entries.size() == photos.size()) {
        updateMarkers();
        return;
    }
    m_shownPhotos = photos;
    // A hidden entry holding focus would pass it on to the next in the focus chain, the last entry
    // made, and the scroll area would scroll all the way down to show it: the list stays where the
    // user was when focus waits on the scroll area instead.
    const QWidget* focused = QApplication::focusWidget();
    if (focused && m_list->isAncestorOf(focused))
        m_scroll->setFocus(Qt::OtherFocusReason);
    // An entry may be the one whose button or menu led here: it goes once control is back in the
    // event loop.
    for (TimelineEntryView* entry : std::as_const(m_entries)) {
        m_listLayout->removeWidget(entry);
        entry->hide();
        entry->deleteLater();
    }
    m_entries.clear();

    TimelineEntryView::Actions actions;
    actions.putOnClipboard = [this](const VeskTimelinePhoto& photo, bool isCut) { m_model->putOnClipboard(photo, isCut); };
    actions.canPaste = [this] { return m_model->canPaste(); };
    actions.pasteBefore = [this](const QUuid& target) { m_model->paste(target); };
    actions.remove = [this](const QUuid& identity) { m_model->removeFromTimeline(identity); };
    actions.drag = [this](const VeskTimelinePhoto& photo) { runDrag(photo); };
    actions.hover = [this](const QUuid& identity, bool inside) { hoverEntry(identity, inside); };
    actions.drop = [this](const QMimeData* payload, const QUuid& target) { return handleTimelineDrop(payload, target); };

    int at = 0;
    for (const VeskTimelinePhoto& photo : photos) {
        auto* entry = new TimelineEntryView(photo, m_services.sources.photoDate(photo.item), *m_services.media,
                                            actions, m_list);
        m_listLayout->insertWidget(at++, entry);
        m_entries.append(entry);
    }
    updateMarkers();
}

void VeskPersonTimelineView::updateMarkers()
{
    for (TimelineEntryView* entry : std::as_const(m_entries))
        entry->setMarkerShown(m_drag.showsMarker(entry->identity()));
}

std::unique_ptr<QMimeData> VeskPersonTimelineView::beginTimelineDrag(const VeskTimelinePhoto& entry)
{
    m_drag.begin(entry.identity());
    m_edgeScroller->start();
    updateMarkers();
    return timelineDragPayload(entry.identity());
}

void VeskPersonTimelineView::runDrag(const VeskTimelinePhoto& entry)
{
    auto* drag = new QDrag(this);
    drag->setMimeData(beginTimelineDrag(entry).release());
    // The dragged entry's own event handler runs this drag: no entry is replaced until it is over.
    m_dragRunning = true;
    drag->exec(Qt::MoveAction);
    m_dragRunning = false;
    endTimelineDrag();
    scheduleRefresh();
}

void VeskPersonTimelineView::hoverEntry(const QUuid& entry, bool inside)
{
    m_drag.hover(entry, inside);
    updateMarkers();
}

bool VeskPersonTimelineView::handleTimelineDrop(const QMimeData* payload, const std::optional<QUuid>& target)
{
    m_edgeScroller->stop();
    const std::optional<QUuid> recorded = m_drag.dragging;
    m_drag.end();
    updateMarkers();
    const std::optional<TimelinePerson> person = m_model->selectedPerson();
    std::optional<QString> text;
    if (payload && payload->hasText())
        text = payload->text();
    const TimelineDrop drop = decideTimelineDrop(recorded, person.has_value(), text);
    if (drop.outcome == TimelineDrop::Outcome::Refused)
        return false;
    if (drop.outcome == TimelineDrop::Outcome::Move)
        m_model->moveOccurrence(drop.entry, target, person->id);
    return true;
}

void VeskPersonTimelineView::endTimelineDrag()
{
    if (m_edgeScroller)
        m_edgeScroller->stop();
    m_drag.end();
    updateMarkers();
}

void VeskPersonTimelineView::exportPhotoBook()
{
    const std::optional<TimelinePerson> person = m_model->selectedPerson();
    if (!person)
        return;
    const QList<VeskTimelinePhoto> photos = m_model->displayedPhotos();
    if (photos.isEmpty())
        return;
    m_export->start(photos, person->name);
}

} // namespace vesk
