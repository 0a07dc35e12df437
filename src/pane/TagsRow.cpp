#include "pane/TagsRow.h"
#include "pane/PaneIcons.h"

#include "platform/FutureDelivery.h"
#include "platform/WorkPool.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "search/ManualTags.h"
#include "store/VeskStore.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

constexpr qreal kChipHorizontalPadding = 8;
constexpr qreal kChipVerticalPadding = 4;
constexpr qreal kChipSpacing = 5;
constexpr qreal kCrossPoints = 8;
// From this many characters of text, the hashtags are looked for on a worker: in a note of
// megabytes the search takes a frame or more of the window's thread.
constexpr qsizetype kTagsReadOnWorkerFrom = 64 * 1024;

bool hasLongText(const VeskItem& item)
{
    return (item.text && item.text->size() >= kTagsReadOnWorkerFrom) || item.searchableText.size() >= kTagsReadOnWorkerFrom;
}

QFont chipFont()
{
    return Theme::font(10.5, QFont::DemiBold);
}

QString chipText(const QString& tag)
{
    return QLatin1Char('#') + tag;
}

// Chips scroll sideways under a plain mouse wheel too, and show no scroll bar.
class ChipStrip : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        const QPoint delta = event->angleDelta();
        const int step = delta.x() != 0 ? delta.x() : delta.y();
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - step / 2);
        event->accept();
    }
};

// The entry row's rounded, faintly filled field.
class EntryBox : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const Theme& theme = Theme::current();
        const QColor fill = theme.primary(0.03);
        const QColor outline = theme.primary(0.07);
        Painting::drawFramedBox(painter, rect(), 9, 0.5, 1, fill, outline, QStringLiteral("tagEntryBox"));
    }
};

} // namespace

TagChip::TagChip(const QString& tag, bool removable, QWidget* parent)
    : QAbstractButton(parent)
    , m_tag(tag)
    , m_removable(removable)
{
    setObjectName(QStringLiteral("tagChip"));
    setTag(tag, removable);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

void TagChip::setTag(const QString& tag, bool removable)
{
    m_tag = tag;
    m_removable = removable;
    setText(chipText(tag));
    setToolTip(QStringLiteral("Surface all Vesks tagged #") + tag);
    updateGeometry();
    update();
}

QSize TagChip::sizeHint() const
{
    const QFontMetricsF metrics(chipFont());
    qreal width = kChipHorizontalPadding * 2 + metrics.horizontalAdvance(text());
    if (m_removable)
        width += kChipSpacing + kCrossPoints + 2;
    return QSize(int(std::ceil(width)), int(std::ceil(metrics.height() + kChipVerticalPadding * 2)));
}

QRect TagChip::crossRect() const
{
    if (!m_removable)
        return {};
    // The cross and a little room around it, so it is easy to hit.
    const int size = int(kCrossPoints + 2);
    return QRect(width() - int(kChipHorizontalPadding) - size - 2, 0, size + int(kChipHorizontalPadding) + 2, height());
}

void TagChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Theme& theme = Theme::current();
    // The capsule from a cached rendering: a chip of a width is painted alike for every item.
    const QColor fill = theme.accent(0.09);
    const QColor outline = theme.accent(0.18);
    const QString key = QStringLiteral("tagChip:%1:%2").arg(fill.rgba(), 0, 16).arg(outline.rgba(), 0, 16);
    Painting::drawCornered(painter, rect(), height() / 2 + 2, fill, key, [&](QPainter& p, const QRectF& box) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = Painting::capsule(box.adjusted(0.4, 0.4, -0.4, -0.4));
        p.fillPath(shape, fill);
        Painting::stroke(p, shape, outline, 0.8);
    });

    painter.setFont(chipFont());
    painter.setPen(theme.accent());
    const QFontMetricsF metrics(chipFont());
    const QRectF textRect(kChipHorizontalPadding, 0, metrics.horizontalAdvance(text()) + 1, height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text());
    if (m_removable) {
        const QRectF cross(textRect.right() + kChipSpacing - 1, 0, kCrossPoints + 2, height());
        IconMap::paint(painter, cross, QStringLiteral("xmark"), theme.secondary(), kCrossPoints + 1);
    }
}

void TagChip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isDown() && rect().contains(event->position().toPoint())) {
        setDown(false);
        event->accept();
        // The cross removes and does not search; the rest of the chip searches.
        if (m_removable && crossRect().contains(event->position().toPoint()))
            emit removeRequested(m_tag);
        else
            emit searchRequested(m_tag);
        return;
    }
    QAbstractButton::mouseReleaseEvent(event);
}

TagsRow::TagsRow(VeskStore& store, const VeskItem& item, const QString& draft, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_item(item)
{
    setObjectName(QStringLiteral("tagsRow"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    auto* entry = new EntryBox(this);
    entry->setObjectName(QStringLiteral("tagEntryRow"));
    auto* row = new QHBoxLayout(entry);
    row->setContentsMargins(10, 7, 10, 7);
    row->setSpacing(7);
    auto* number = new QLabel(entry);
    number->setPixmap(paneSymbolPixmap(QStringLiteral("number"), Theme::current().tertiary(), 13, devicePixelRatioF()));
    row->addWidget(number);
    m_field = new QLineEdit(draft, entry);
    m_field->setObjectName(QStringLiteral("tagField"));
    m_field->setPlaceholderText(QStringLiteral("Add tag \u2014 e.g. yosemite"));
    m_field->setFont(Theme::font(11.5, QFont::Medium));
    m_field->setFrame(false);
    // A drop anywhere on the window is an intake: a dragged file is kept, not typed in as a tag.
    m_field->setAcceptDrops(false);
    row->addWidget(m_field, 1);
    m_addButton = new QToolButton(entry);
    m_addButton->setObjectName(QStringLiteral("tagAddButton"));
    m_addButton->setAutoRaise(true);
    m_addButton->setIcon(paneSymbolIcon(QStringLiteral("plus.circle.fill"), Theme::current().accent(), 16));
    m_addButton->setToolTip(QStringLiteral("Add tag to this Vesk"));
    row->addWidget(m_addButton);
    column->addWidget(entry);

    const auto updateAddButton = [this] { m_addButton->setEnabled(!m_field->text().trimmed().isEmpty()); };
    connect(m_field, &QLineEdit::textChanged, this, [this, updateAddButton](const QString& text) {
        updateAddButton();
        emit draftChanged(text);
    });
    connect(m_field, &QLineEdit::returnPressed, this, &TagsRow::addDraft);
    connect(m_addButton, &QToolButton::clicked, this, &TagsRow::addDraft);
    updateAddButton();
    refresh();
}

void TagsRow::setItem(const VeskItem& item, const QString& draft)
{
    // Another item's field starts afresh: no text, selection or undo steps of the last one.
    if (item.id != m_item.id || m_field->text() != draft)
        m_field->setText(draft);
    m_item = item;
    refresh();
}

QList<TagChip*> TagsRow::chips() const
{
    return m_chips;
}

void TagsRow::addDraft()
{
    if (!m_store.addManualTag(m_field->text(), m_item))
        return;
    m_field->clear();
    refresh();
}

void TagsRow::refresh()
{
    const quint64 read = ++m_reads;
    if (!hasLongText(m_item)) {
        showTags(m_store.tags(m_item));
        return;
    }
    // Another item's chips are not left on show meanwhile; the same item's stay until its read.
    if (m_strip && m_chipsItem != m_item.id)
        m_strip->hide();
    const QSet<QString> manual = m_store.manualTags(m_item);
    const QStringList manualList(manual.begin(), manual.end());
    const QFuture<QStringList> tags
        = QtConcurrent::run(workPool(), [item = m_item, manualList] { return displayTags(item, manualList); });
    deliverResult(this, tags, [this, read](const QStringList& found) {
        if (read == m_reads)
            showTags(found);
    });
}

void TagsRow::showTags(const QStringList& tags)
{
    m_chipsItem = m_item.id;
    if (tags.isEmpty() && !m_strip)
        return;
    if (!m_strip) {
        // Made for the first tag: a scroll area and its bars are much of what an untagged item's
        // pane would otherwise make and style, for a strip it never shows.
        m_strip = new ChipStrip(this);
        m_strip->setObjectName(QStringLiteral("tagChipStrip"));
        m_strip->setFrameShape(QFrame::NoFrame);
        m_strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_strip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_strip->setWidgetResizable(true);
        m_strip->viewport()->setAutoFillBackground(false);
        static_cast<QVBoxLayout*>(layout())->insertWidget(0, m_strip);
    }
    const QSet<QString> removable = m_store.manualTags(m_item);
    auto* chips = m_strip->widget();
    if (!chips) {
        chips = new QWidget;
        auto* row = new QHBoxLayout(chips);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(6);
        row->addStretch(1);
        m_strip->setWidget(chips);
        // The scroll area makes its widget fill its background; the chips lie on the pane's own.
        chips->setAutoFillBackground(false);
    }
    auto* row = static_cast<QHBoxLayout*>(chips->layout());
    // Chips beyond the tags go later: the chip whose click led here may be one of them.
    while (m_chips.size() > tags.size()) {
        TagChip* surplus = m_chips.takeLast();
        row->removeWidget(surplus);
        surplus->hide();
        surplus->deleteLater();
    }
    int height = 0;
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const QString& tag = tags.at(i);
        if (i < m_chips.size()) {
            m_chips.at(i)->setTag(tag, removable.contains(tag));
        } else {
            auto* chip = new TagChip(tag, removable.contains(tag), chips);
            connect(chip, &TagChip::searchRequested, this, [this](const QString& chosen) { m_store.searchForTag(chosen); });
            connect(chip, &TagChip::removeRequested, this, [this](const QString& chosen) {
                m_store.removeManualTag(chosen, m_item);
                // Later: the chip that asked may be among the widgets this replaces.
                QMetaObject::invokeMethod(this, &TagsRow::refresh, Qt::QueuedConnection);
            });
            row->insertWidget(row->count() - 1, chip); // before the stretch
            chip->show();
            m_chips.append(chip);
        }
        height = std::max(height, m_chips.at(i)->sizeHint().height());
    }
    // At the width the strip will give the chips, now rather than a turn of the event loop later,
    // and another item's chips start at their beginning.
    chips->resize(std::max(m_strip->viewport()->width(), chips->minimumSizeHint().width()), height);
    m_strip->horizontalScrollBar()->setValue(0);
    m_strip->setFixedHeight(height);
    m_strip->setVisible(!tags.isEmpty());
}

} // namespace vesk
