#include "pane/RelatedPanels.h"
#include "pane/PaneIcons.h"

#include "model/ItemFileKinds.h"
#include "pane/SectionParts.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SpringAnimator.h"
#include "platform/ui/Theme.h"
#include "present/DisplayTitles.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace vesk {

namespace {

QFont weighted(TextStyle style, QFont::Weight weight)
{
    QFont font = Theme::font(style);
    font.setWeight(weight);
    return font;
}

QLabel* makeSymbol(const QString& symbol, const QColor& color, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(parent);
    const int size = int(std::ceil(QFontMetricsF(font).height()));
    label->setPixmap(paneSymbolPixmap(symbol, color, size, parent ? parent->devicePixelRatioF() : 1.0));
    return label;
}

qreal mix(qreal rest, qreal hovered, qreal progress)
{
    return rest + (hovered - rest) * progress;
}

} // namespace

RelatedRow::RelatedRow(Style style, const VeskItem& item, QWidget* parent)
    : QAbstractButton(parent)
    , m_style(style)
    , m_item(item)
    , m_title(cleanedDisplayTitle(item))
    , m_detail(style == Style::Version ? abbreviatedDateTimeText(item.createdAt) : veskKindWord(item.kind))
{
    setObjectName(style == Style::Version ? QStringLiteral("relatedVersionRow") : QStringLiteral("relatedVeskRow"));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(m_title);
    if (style == Style::Version) {
        m_animation = new QVariantAnimation(this);
        m_animation->setDuration(160);
        m_animation->setEasingCurve(AnimationCurves::easeOut());
    } else {
        m_animation = new SpringAnimator(Spring::fromResponse(0.3, 0.76), this);
    }
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_hover = value.toReal();
        update();
    });
    connect(&Theme::current(), &Theme::appearanceChanged, this, [this] {
        m_elided = {};
        update();
    });
}

void RelatedRow::setItem(const VeskItem& item)
{
    m_item = item;
    m_title = cleanedDisplayTitle(item);
    m_detail = m_style == Style::Version ? abbreviatedDateTimeText(item.createdAt) : veskKindWord(item.kind);
    m_elided = {};
    setAccessibleName(m_title);
    update();
}

QString RelatedRow::symbol() const
{
    return m_style == Style::Version ? QStringLiteral("doc.on.doc") : veskKindSymbol(m_item.kind);
}

QSize RelatedRow::sizeHint() const
{
    const QFontMetricsF title(Theme::font(TextStyle::Caption));
    const QFontMetricsF detail(Theme::font(TextStyle::Caption2));
    const qreal spacing = m_style == Style::Version ? 2 : 1;
    const qreal text = title.height() + spacing + detail.height();
    const qreal icon = m_style == Style::Version ? 25 : 24;
    return QSize(200, int(std::ceil(std::max(text, icon) + 14)));
}

void RelatedRow::enterEvent(QEnterEvent* event)
{
    setHovering(true);
    QAbstractButton::enterEvent(event);
}

void RelatedRow::leaveEvent(QEvent* event)
{
    setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void RelatedRow::setHovering(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    if (auto* spring = qobject_cast<SpringAnimator*>(m_animation)) {
        // A running spring turns round keeping its speed; one at rest starts from where it is.
        if (spring->state() == QAbstractAnimation::Running)
            spring->animateTo(hovering ? 1.0 : 0.0);
        else
            spring->animate(m_hover, hovering ? 1.0 : 0.0);
        return;
    }
    m_animation->stop();
    m_animation->setStartValue(m_hover);
    m_animation->setEndValue(hovering ? 1.0 : 0.0);
    m_animation->start();
}

void RelatedRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Theme& theme = Theme::current();
    const bool version = m_style == Style::Version;
    const qreal h = std::clamp<qreal>(m_hover, 0, 1.2);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // The frame from cached corners and edges: the rows are painted with every answer.
    QColor fill;
    QColor outline;
    qreal outlineWidth = 0;
    if (version) {
        fill = theme.accent(mix(0.025, 0.065, h));
        outline = theme.accent(mix(0.07, 0.16, h));
        outlineWidth = 0.8;
    } else {
        fill = theme.primary(mix(0.025, 0.04, h));
        outline = m_hovering ? theme.accent(0.2) : theme.primary(0.055);
        outlineWidth = m_hovering ? 0.9 : 0.7;
    }
    Painting::drawFramedBox(painter, rect(), 10, 0.5, outlineWidth, fill, outline, QStringLiteral("relatedRow"));
    if (!version && h > 0) {
        QLinearGradient sheen(frame.topLeft(), frame.bottomRight());
        sheen.setColorAt(0, Theme::white(0.04 * h));
        sheen.setColorAt(0.5, Qt::transparent);
        sheen.setColorAt(1, theme.accent(0.02 * h));
        painter.fillPath(Painting::roundedRect(frame, 10), sheen);
    }

    const qreal padX = version ? 8 : 9;
    const qreal iconSize = version ? 25 : 24;
    const QRectF icon(padX, (height() - iconSize) / 2, iconSize, iconSize);
    // The symbol's tile and the arrow look alike in every row: from a cached rendering.
    const QString symbolName = symbol();
    const QColor tileFill = version ? theme.accent(0.075) : theme.material(MaterialThickness::Thin);
    const QColor symbolColour = version ? theme.accent(0.82) : theme.secondary();
    QString tileKey = QStringLiteral("relatedRowSymbol:%1:%2:%3:%4:")
                          .arg(int(version)).arg(tileFill.rgba(), 0, 16).arg(symbolColour.rgba(), 0, 16)
                          .arg(int(theme.isDark()));
    tileKey += symbolName;
    Painting::drawCached(painter, icon, tileKey, [&](QPainter& p, const QRectF& box) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath iconShape = Painting::roundedRect(box, 7);
        if (version) {
            p.fillPath(iconShape, tileFill);
            IconMap::paint(p, box, symbolName, symbolColour, 10.5);
        } else {
            Painting::fillMaterial(p, iconShape, MaterialThickness::Thin, theme);
            IconMap::paint(p, box, symbolName, symbolColour, 11);
        }
    });

    // The arrow at the trailing edge; a related row's moves up and right while hovered.
    const QFont arrowFont = weighted(TextStyle::Caption2, version ? QFont::DemiBold : QFont::Normal);
    const qreal arrowSize = QFontMetricsF(arrowFont).height();
    QRectF arrow(width() - padX - arrowSize, (height() - arrowSize) / 2, arrowSize, arrowSize);
    QColor arrowColour;
    if (version) {
        arrowColour = theme.accent(mix(0.48, 0.86, h));
    } else {
        arrow.translate(1.5 * h, -1.5 * h);
        arrowColour = m_hovering ? theme.accent(0.82) : theme.secondary(0.72);
    }
    if (h > 0) {
        IconMap::paint(painter, arrow, QStringLiteral("arrow.up.forward"), arrowColour, arrowSize * 0.9);
    } else {
        const QString arrowKey = QStringLiteral("relatedRowArrow:%1:%2").arg(int(version)).arg(arrowColour.rgba(), 0, 16);
        Painting::drawCached(painter, arrow, arrowKey, [&](QPainter& p, const QRectF& box) {
            p.setRenderHint(QPainter::Antialiasing);
            IconMap::paint(p, box, QStringLiteral("arrow.up.forward"), arrowColour, arrowSize * 0.9);
        });
    }

    const qreal textLeft = icon.right() + 9;
    const qreal textWidth = std::max<qreal>(0, arrow.left() - 4 - textLeft);
    const QFont titleFont = weighted(TextStyle::Caption, version ? QFont::DemiBold : QFont::Medium);
    const QFont detailFont = Theme::font(TextStyle::Caption2);
    const QFontMetricsF titleMetrics(titleFont);
    const QFontMetricsF detailMetrics(detailFont);
    const qreal spacing = version ? 2 : 1;
    const qreal block = titleMetrics.height() + spacing + detailMetrics.height();
    qreal y = (height() - block) / 2;
    if (m_elided.width != textWidth) {
        // A version's title keeps its start and end; a related item's keeps its start.
        m_elided.title = titleMetrics.elidedText(m_title, version ? Qt::ElideMiddle : Qt::ElideRight, textWidth);
        m_elided.detail = detailMetrics.elidedText(m_detail, Qt::ElideRight, textWidth);
        m_elided.width = textWidth;
    }
    painter.setFont(titleFont);
    painter.setPen(theme.label());
    painter.drawText(QRectF(textLeft, y, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
        m_elided.title);
    y += titleMetrics.height() + spacing;
    painter.setFont(detailFont);
    painter.setPen(theme.tertiary());
    painter.drawText(QRectF(textLeft, y, textWidth, detailMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
        m_elided.detail);
}

RelatedPanel::RelatedPanel(VeskStore& store, const VeskItem& item, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_item(item)
    , m_storeAlive(&store)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(0);
    // New versions, edits and removals change the lists; one look after a burst of changes.
    connect(&m_store, &VeskStore::itemsChanged, this, [this] {
        if (m_refreshQueued)
            return;
        m_refreshQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_refreshQueued = false;
            refresh();
        });
    });
    // The header's colours are taken when it is made: a new appearance makes it again.
    connect(&Theme::current(), &Theme::appearanceChanged, this, [this] {
        m_bodyStale = true;
        refresh();
    });
}

QList<RelatedRow*> RelatedPanel::rows() const
{
    // Rows kept from another item's answer, hidden with the panel, are none of this item's.
    return m_rowsItemID == m_item.id ? m_rows : QList<RelatedRow*>();
}

QList<VeskItem> RelatedPanel::shownItems() const
{
    QList<VeskItem> items;
    for (const RelatedRow* row : rows())
        items.append(row->item());
    return items;
}

void RelatedPanel::refresh()
{
    if (!m_storeAlive)
        return;
    m_answered = false;
    const quint64 asked = ++m_asked;
    query([this, asked](const QList<VeskItem>& items) {
        if (asked == m_asked)
            showItems(items);
    });
}

void RelatedPanel::setItem(const VeskItem& item)
{
    if (item.id != m_item.id) {
        ++m_asked;
        m_answered = false;
        // A shown panel keeps its place, through any items passed over before an answer: the
        // next answer most often fills as many rows, and what stands under the panel then
        // neither moves nor paints again. It stays shown and paints nothing meanwhile: hiding
        // and showing it again told every part of it, and laid the pane's column out anew, for
        // each item. With the focus in it, it hides, and the focus moves on as it always did.
        const QWidget* focus = QApplication::focusWidget();
        if (!isHidden() && !(focus && isAncestorOf(focus))) {
            setWaiting(true);
        } else {
            setWaiting(false);
            keepPlace(!isHidden() || sizePolicy().retainSizeWhenHidden());
            setVisible(false);
        }
    }
    m_item = item;
}

void RelatedPanel::setWaiting(bool waiting)
{
    if (m_waiting == waiting)
        return;
    m_waiting = waiting;
    for (RelatedRow* row : std::as_const(m_rows)) {
        if (waiting) {
            row->setFocusPolicy(Qt::NoFocus);
            row->unsetCursor();
            row->setAccessibleName(QString());
        } else {
            row->setFocusPolicy(Qt::StrongFocus);
            row->setCursor(Qt::PointingHandCursor);
            row->setAccessibleName(row->titleText());
        }
    }
    update();
}

void RelatedPanel::watch(QWidget* widget)
{
    widget->installEventFilter(this);
    for (QWidget* part : widget->findChildren<QWidget*>())
        part->installEventFilter(this);
}

bool RelatedPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (m_waiting) {
        switch (event->type()) {
        case QEvent::Paint:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::ContextMenu:
        case QEvent::ToolTip:
            return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void RelatedPanel::keepPlace(bool keep)
{
    QSizePolicy policy = sizePolicy();
    if (policy.retainSizeWhenHidden() == keep)
        return;
    policy.setRetainSizeWhenHidden(keep);
    setSizePolicy(policy);
}

void RelatedPanel::showItems(const QList<VeskItem>& items)
{
    m_answered = true;
    if (items.isEmpty()) {
        setVisible(false);
        setWaiting(false);
        keepPlace(false);
        m_rowsItemID = QUuid();
        return;
    }
    // The rows take the answer while the panel is hidden or waiting, and it shows once, in its
    // own place.
    rebuild(items);
    setWaiting(false);
    keepPlace(false);
    setVisible(true);
}

void RelatedPanel::rebuild(const QList<VeskItem>& items)
{
    // Header and rows are made once and take each answer's values: an answer comes with every
    // item the pane shows.
    if (m_bodyStale) {
        m_bodyStale = false;
        delete m_body;
        m_body = nullptr;
        m_rowsColumn = nullptr;
        m_rows.clear();
    }
    if (!m_body) {
        m_body = new QWidget(this);
        auto* column = new QVBoxLayout(m_body);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(8);
        fillHeader(column);
        m_rowsColumn = new QVBoxLayout;
        m_rowsColumn->setSpacing(rowSpacing());
        column->addLayout(m_rowsColumn);
        layout()->addWidget(m_body);
        watch(m_body);
    }
    showCount(items.size());
    m_rowsItemID = m_item.id;
    while (m_rows.size() > items.size())
        delete m_rows.takeLast();
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i < m_rows.size()) {
            m_rows.at(i)->setItem(items.at(i));
            continue;
        }
        auto* row = new RelatedRow(rowStyle(), items.at(i), m_body);
        // Selecting rebuilds the pane and this row with it: the click finishes first.
        QPointer<VeskStore> store(&m_store);
        connect(row, &QAbstractButton::clicked, &m_store, [store, row = QPointer<RelatedRow>(row)] {
            if (!row)
                return;
            QTimer::singleShot(0, store, [store, id = row->item().id] {
                if (store)
                    store->select(id);
            });
        });
        m_rowsColumn->addWidget(row);
        m_rows.append(row);
        watch(row);
    }
}

RelatedVersionsPanel::RelatedVersionsPanel(VeskStore& store, const VeskItem& item, QWidget* parent)
    : RelatedPanel(store, item, parent)
{
    setObjectName(QStringLiteral("relatedVersionsPanel"));
    setVisible(false);
    refresh();
}

RelatedVersionsPanel::~RelatedVersionsPanel()
{
    if (m_search)
        m_search->cancel();
}

QString RelatedVersionsPanel::passesText() const
{
    return m_passes ? m_passes->text() : QString();
}

void RelatedVersionsPanel::query(std::function<void(const QList<VeskItem>&)> answer)
{
    if (m_search)
        m_search->cancel();
    m_search = m_store.findRelatedVersionsLater(m_item, limit, this, std::move(answer));
}

void RelatedVersionsPanel::showCount(qsizetype count)
{
    m_passes->setText(QString::number(count + 1) + QStringLiteral(" passes"));
}

void RelatedVersionsPanel::fillHeader(QVBoxLayout* column)
{
    const Theme& theme = Theme::current();
    QWidget* parent = column->parentWidget();
    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    const QFont caption = weighted(TextStyle::Caption, QFont::DemiBold);
    header->addWidget(makeSymbol(QStringLiteral("square.stack.3d.up"), theme.accent(0.78), caption, parent));
    header->addWidget(makeLabel(QStringLiteral("Related Versions"), caption, theme.label(), parent));
    header->addStretch(1);
    header->addSpacing(4);
    m_passes = makeLabel(QString(), Theme::font(TextStyle::Caption2), theme.tertiary(), parent);
    m_passes->setObjectName(QStringLiteral("relatedVersionsPasses"));
    header->addWidget(m_passes);
    column->addLayout(header);
    QLabel* description = makeLabel(QStringLiteral("These look like iterations of the same work."),
        Theme::font(TextStyle::Caption2), theme.secondary(), parent);
    description->setWordWrap(true);
    column->addWidget(description);
}

void RelatedVersionsPanel::paintEvent(QPaintEvent*)
{
    if (isWaiting())
        return;
    QPainter painter(this);
    const Theme& theme = Theme::current();
    const QColor fill = theme.accent(0.028);
    const QColor outline = theme.accent(0.1);
    Painting::drawFramedBox(painter, rect(), 13, 0.4, 0.8, fill, outline, QStringLiteral("relatedVersionsPanel"));
}

RelatedVesksPanel::RelatedVesksPanel(VeskStore& store, const VeskItem& item, QWidget* parent)
    : RelatedPanel(store, item, parent)
{
    setObjectName(QStringLiteral("relatedVesksPanel"));
    setVisible(false);
    // The index and the sentence vectors arrive after start-up has shown the window.
    connect(&store, &VeskStore::searchReadyChanged, this, &RelatedPanel::refresh);
    connect(&store, &VeskStore::startupFinished, this, &RelatedPanel::refresh);
    refresh();
}

void RelatedVesksPanel::query(std::function<void(const QList<VeskItem>&)> answer)
{
    if (auto known = m_store.knownRelatedItems(m_item, limit)) {
        answer(*known);
        return;
    }
    m_store.rankRelatedItemsLater(m_item, limit, this, std::move(answer));
}

void RelatedVesksPanel::fillHeader(QVBoxLayout* column)
{
    const Theme& theme = Theme::current();
    QWidget* parent = column->parentWidget();
    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    header->addWidget(makeSymbol(QStringLiteral("sparkles"), theme.secondary(), Theme::font(TextStyle::Caption), parent));
    // In a narrow column the two texts wrap rather than widen the pane.
    QLabel* title = makeLabel(QStringLiteral("This reminds me of\u2026"), weighted(TextStyle::Caption, QFont::DemiBold),
        theme.secondary(), parent);
    QLabel* note = makeLabel(QStringLiteral("meaning + memory"), Theme::font(TextStyle::Caption2), theme.tertiary(), parent);
    for (QLabel* label : {title, note}) {
        label->setWordWrap(true);
        header->addWidget(label);
    }
    header->addStretch(1);
    column->addLayout(header);
}

void RelatedVesksPanel::paintEvent(QPaintEvent*)
{
    if (isWaiting())
        return;
    QPainter painter(this);
    const Theme& theme = Theme::current();
    const QColor outline = theme.primary(0.06);
    // The material's colours follow the appearance, and so does the outline's.
    const QColor material = theme.material(MaterialThickness::UltraThin);
    const QString key = QStringLiteral("relatedVesksPanel:%1:%2:%3").arg(material.rgba(), 0, 16)
        .arg(int(theme.isDark())).arg(outline.rgba(), 0, 16);
    Painting::drawCornered(painter, rect(), Painting::roundedRectCorner(13, 0.5, 1), material, key,
        [outline](QPainter& p, const QRectF& box) {
            p.setRenderHint(QPainter::Antialiasing);
            const QPainterPath shape = Painting::roundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 13);
            Painting::fillMaterial(p, shape, MaterialThickness::UltraThin);
            Painting::stroke(p, shape, outline, 1);
        });
}

} // namespace vesk
