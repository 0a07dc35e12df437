#include "timelineview/TimelineEntryView.h"

#include "platform/DateTexts.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "timeline/VeskTimelineThumbnail.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

namespace vesk {

namespace {

// The rounded panel behind an entry.
class EntryPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(Painting::roundedRect(QRectF(rect()), 14), Theme::current().primary(0.035));
    }
};

// "Drop here": an accent dot, a line across and the words, on a pale accent panel.
class DropMarker : public QWidget {
public:
    explicit DropMarker(QWidget* parent) : QWidget(parent) { setFixedHeight(36 + 10); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const Theme& theme = Theme::current();
        const QRectF panel(0, 0, width(), 36);
        painter.fillPath(Painting::roundedRect(panel, 9), theme.accent(0.075));
        const QFont font = Theme::font(Theme::pointSize(TextStyle::Caption), QFont::DemiBold);
        const QString text = QStringLiteral("Drop here");
        const qreal textWidth = QFontMetricsF(font).horizontalAdvance(text);
        const qreal centre = panel.center().y();
        qreal x = 16;
        painter.fillPath(Painting::capsule(QRectF(x, centre - 4.5, 9, 9)), theme.accent());
        x += 9 + 10;
        const qreal lineEnd = panel.right() - 16 - textWidth - 10;
        if (lineEnd > x)
            painter.fillPath(Painting::capsule(QRectF(x, centre - 1.5, lineEnd - x, 3)), theme.accent());
        painter.setFont(font);
        painter.setPen(theme.accent());
        painter.drawText(QRectF(panel.right() - 16 - textWidth, 0, textWidth, 36), Qt::AlignVCenter | Qt::AlignLeft,
                         text);
    }
};

} // namespace

TimelineEntryView::TimelineEntryView(const VeskTimelinePhoto& photo, const std::optional<QDateTime>& photoDate,
                                     VeskTimelineMediaCache& cache, Actions actions, QWidget* parent)
    : QWidget(parent), m_photo(photo), m_actions(std::move(actions))
{
    setAcceptDrops(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_marker = new DropMarker(this);
    m_marker->hide();
    column->addWidget(m_marker);

    auto* panel = new EntryPanel(this);
    column->addWidget(panel);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(18);

    auto* dates = new QWidget(panel);
    dates->setFixedWidth(165);
    auto* dateColumn = new QVBoxLayout(dates);
    dateColumn->setContentsMargins(0, 0, 0, 0);
    dateColumn->setSpacing(6);
    m_date = styledLabel(photoDate ? abbreviatedDateText(*photoDate) : QStringLiteral("Date unknown"),
                         TextStyle::Headline, dates);
    m_imported = styledLabel(QStringLiteral("Imported ") + abbreviatedDateText(photo.item.createdAt),
                             TextStyle::Caption2, dates, true);
    dateColumn->addWidget(m_date);
    dateColumn->addWidget(m_imported);
    dateColumn->addStretch(1);
    row->addWidget(dates, 0, Qt::AlignTop);

    auto* thumbnail = new VeskTimelineThumbnail(cache, panel);
    thumbnail->setPath(photo.item.filePath);
    row->addWidget(thumbnail, 0, Qt::AlignTop);

    auto* texts = new QWidget(panel);
    auto* textColumn = new QVBoxLayout(texts);
    textColumn->setContentsMargins(0, 0, 0, 0);
    textColumn->setSpacing(4);
    QLabel* title = styledLabel(photo.item.title, TextStyle::Subheadline, texts, false, QFont::Medium);
    title->setWordWrap(true);
    textColumn->addWidget(title);
    if (!photo.item.note.isEmpty()) {
        QLabel* note = styledLabel(photo.item.note, TextStyle::Caption, texts, true);
        note->setWordWrap(true);
        // At most five lines.
        note->setMaximumHeight(5 * note->fontMetrics().lineSpacing());
        note->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        textColumn->addWidget(note);
    }
    auto* hint = new QHBoxLayout;
    hint->setContentsMargins(0, 4, 0, 0);
    hint->setSpacing(6);
    auto* handle = new QLabel(texts);
    handle->setPixmap(IconMap::pixmap(QStringLiteral("line.3.horizontal"), Theme::current().secondary(), 14,
                                      devicePixelRatioF()));
    hint->addWidget(handle);
    hint->addWidget(styledLabel(QStringLiteral("Drag to move"), TextStyle::Caption2, texts, true));
    QPushButton* remove = borderedButton(QStringLiteral("Remove"), QString(), texts);
    remove->setToolTip(QStringLiteral("Remove from this timeline only; keep the original Vesk"));
    remove->setFont(Theme::font(TextStyle::Caption));
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_actions.remove)
            m_actions.remove(identity());
    });
    hint->addWidget(remove);
    hint->addStretch(1);
    textColumn->addLayout(hint);
    textColumn->addStretch(1);
    row->addWidget(texts, 1, Qt::AlignTop);
}

void TimelineEntryView::setMarkerShown(bool shown)
{
    m_marker->setVisible(shown);
}

bool TimelineEntryView::markerShown() const
{
    return !m_marker->isHidden();
}

QString TimelineEntryView::dateText() const
{
    return m_date->text();
}

QString TimelineEntryView::importedText() const
{
    return m_imported->text();
}

QMenu* TimelineEntryView::makeContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const VeskTimelinePhoto photo = m_photo;
    const Actions actions = m_actions;
    menu->addAction(QStringLiteral("Cut"), [actions, photo] {
        if (actions.putOnClipboard)
            actions.putOnClipboard(photo, true);
    });
    menu->addAction(QStringLiteral("Copy"), [actions, photo] {
        if (actions.putOnClipboard)
            actions.putOnClipboard(photo, false);
    });
    QAction* paste = menu->addAction(QStringLiteral("Paste Before"), [actions, photo] {
        if (actions.pasteBefore)
            actions.pasteBefore(photo.identity());
    });
    paste->setEnabled(actions.canPaste && actions.canPaste());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Remove from Timeline"), [actions, photo] {
        if (actions.remove)
            actions.remove(photo.identity());
    });
    return menu;
}

void TimelineEntryView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = makeContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TimelineEntryView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressAt = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void TimelineEntryView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressAt || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    if ((event->position().toPoint() - *m_pressAt).manhattanLength() < QApplication::startDragDistance())
        return;
    m_pressAt.reset();
    if (m_actions.drag)
        m_actions.drag(m_photo);
}

void TimelineEntryView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasText())
        return;
    event->acceptProposedAction();
    if (m_actions.hover)
        m_actions.hover(identity(), true);
}

void TimelineEntryView::dragLeaveEvent(QDragLeaveEvent* event)
{
    QWidget::dragLeaveEvent(event);
    if (m_actions.hover)
        m_actions.hover(identity(), false);
}

void TimelineEntryView::dropEvent(QDropEvent* event)
{
    const bool taken = m_actions.drop && m_actions.drop(event->mimeData(), identity());
    if (taken)
        event->acceptProposedAction();
    else
        event->ignore();
}

} // namespace vesk
