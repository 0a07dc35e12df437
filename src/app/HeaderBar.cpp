#include "app/HeaderBar.h"

#include "app/MainWindowState.h"
#include "app/SearchField.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SpringAnimator.h"
#include "platform/ui/Theme.h"
#include "store/VeskStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace vesk {

namespace {
constexpr qreal kCapsuleRadius = Radii::searchCapsule;
constexpr qreal kNearbyCapsuleScale = 1.006;
} // namespace

WordmarkBlock::WordmarkBlock(QWidget* parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Vesk"));
    setFixedWidth(HeaderBar::wordmarkWidth);
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

QSize WordmarkBlock::sizeHint() const
{
    return QSize(HeaderBar::wordmarkWidth, 34 + 2 + 20);
}

void WordmarkBlock::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The wordmark: a pin medallion and the name, drawn in the 150 by 34 frame of the artwork.
    const qreal blockHeight = 34 + 2 + 18;
    const qreal top = (height() - blockHeight) / 2.0;
    const QRectF mark(0, top, 150, 34);
    const QRectF badge(mark.left(), mark.top() + 3, 28, 28);
    QLinearGradient fill(badge.topLeft(), badge.bottomRight());
    fill.setColorAt(0, theme.accent());
    fill.setColorAt(1, theme.isDark() ? Theme::rgb(0.37, 0.73, 1.0) : Theme::rgb(0.2, 0.45, 0.95));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(Painting::roundedRect(badge, 8));
    IconMap::paint(p, badge, QStringLiteral("pin.fill"), Theme::white(0.95), 17, 18);
    p.setFont(Theme::font(27, QFont::Black));
    p.setPen(theme.label());
    p.drawText(QRectF(badge.right() + 8, mark.top(), mark.width() - badge.width() - 8, mark.height()),
               Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Vesk"));

    p.setFont(Theme::font(13.5, QFont::DemiBold));
    p.setPen(theme.secondary());
    p.drawText(QRectF(0, mark.bottom() + 2, width(), 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("A place to rediscover your life."));
}

HeaderBar::HeaderBar(VeskStore& store, MainWindowState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setFixedHeight(barHeight);
    setAttribute(Qt::WA_TranslucentBackground);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(edgePadding, (barHeight - groupHeight) / 2, edgePadding, (barHeight - groupHeight) / 2);
    outer->setSpacing(0);

    m_wordmark = new WordmarkBlock(this);
    outer->addWidget(m_wordmark);
    outer->addSpacing(wordmarkToSearchGap);

    m_searchField = new SearchField(store, state, this);
    outer->addWidget(m_searchField, 0, Qt::AlignVCenter);
    outer->addSpacing(searchToControlsGap);

    m_controls = new QWidget(this);
    m_controls->setAttribute(Qt::WA_TranslucentBackground);
    auto* controlsLayout = new QHBoxLayout(m_controls);
    controlsLayout->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_controls, 0, Qt::AlignVCenter);
    m_leadingRow = controlsLayout;

    outer->addStretch(1);

    m_trailingSlot = new QWidget(this);
    m_trailingSlot->setFixedWidth(trailingSlotWidth);
    auto* trailingLayout = new QHBoxLayout(m_trailingSlot);
    trailingLayout->setContentsMargins(0, 0, 0, 0);
    trailingLayout->addStretch(1);
    outer->addWidget(m_trailingSlot, 0, Qt::AlignVCenter);

    watchHover(m_searchField);
    watchHover(m_controls);

    m_nearbyAnimator = new SpringAnimator(Spring::fromResponse(0.3, 0.74), this);
    connect(m_nearbyAnimator, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_nearby = value.toDouble();
        update();
    });
    connect(&m_state, &MainWindowState::memoryControlsNearbyChanged, this, [this] {
        if (m_nearbyAnimator->currentValue().isValid())
            m_nearbyAnimator->animateTo(m_state.memoryControlsNearby() ? 1.0 : 0.0);
        else
            m_nearbyAnimator->animate(m_nearby, m_state.memoryControlsNearby() ? 1.0 : 0.0);
    });
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

void HeaderBar::setControls(QWidget* controls)
{
    if (!controls)
        return;
    controls->setParent(m_controls);
    m_leadingRow->addWidget(controls);
    watchHover(controls);
}

void HeaderBar::setTrailingWidget(QWidget* widget)
{
    if (!widget)
        return;
    // The widget keeps its own size, which may be wider than the slot and taller than the other
    // groups: it stands against the slot's trailing edge, centred on the whole bar.
    widget->setParent(this);
    m_trailingWidget = widget;
    widget->show();
    placeTrailingWidget();
}

void HeaderBar::placeTrailingWidget()
{
    if (!m_trailingWidget)
        return;
    const QSize size = m_trailingWidget->sizeHint();
    const QRect slot = m_trailingSlot->geometry();
    m_trailingWidget->setGeometry(slot.right() + 1 - size.width(), (height() - size.height()) / 2, size.width(),
                                  size.height());
}

void HeaderBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeTrailingWidget();
}

void HeaderBar::watchHover(QWidget* widget)
{
    widget->setAttribute(Qt::WA_Hover);
    widget->installEventFilter(this);
}

bool HeaderBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        const bool entered = event->type() == QEvent::Enter;
        if (watched == m_searchField)
            m_searchHovered = entered;
        else
            m_controlsHovered = entered;
        updateHover();
    }
    return QWidget::eventFilter(watched, event);
}

void HeaderBar::updateHover()
{
    m_state.setMemoryControlsNearby(m_searchHovered || m_controlsHovered);
}

void HeaderBar::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bar = rect();

    Painting::fillLinearGradient(p, bar, theme.primary(0.032), theme.primary(0.052));
    Painting::fillLinearGradient(p, QRectF(bar.left(), bar.top(), bar.width(), bar.height() / 2),
                                 Theme::white(0.018), Theme::white(0.0));
    p.fillRect(QRectF(bar.left(), bar.top(), bar.width(), 1), theme.primary(0.13));
    p.fillRect(QRectF(bar.left(), bar.height() - 1, bar.width(), 1), theme.primary(0.16));

    // The search capsule: glass in a rounded rectangle, slightly larger and glowing while the
    // pointer is near the controls.
    const QRectF frame = m_searchField->geometry();
    const qreal scale = 1.0 + (kNearbyCapsuleScale - 1.0) * m_nearby;
    const QPointF centre = frame.center();
    const QRectF scaled(centre.x() - frame.width() * scale / 2, centre.y() - frame.height() * scale / 2,
                        frame.width() * scale, frame.height() * scale);
    const QPainterPath capsule = Painting::roundedRect(scaled, kCapsuleRadius);
    if (m_nearby > 0.01)
        Painting::drawSoftShadow(p, capsule, theme.accent(0.14 * std::clamp(m_nearby, 0.0, 1.0)), 8);
    Painting::fillGlass(p, capsule, theme);
}

} // namespace vesk
