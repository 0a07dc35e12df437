#include "app/ControlsStrip.h"

#include "app/MainWindowState.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>

namespace vesk {

namespace {
constexpr qreal kSymbolPoints = 15;
constexpr qreal kTitlePoints = 13;
constexpr int kButtonHeight = 28;
constexpr int kButtonPadding = 12;
constexpr int kSymbolGap = 5;
} // namespace

GlassButton::GlassButton(const QString& symbol, const QString& title, bool prominent, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_prominent(prominent)
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setAccessibleName(title);
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

QSize GlassButton::sizeHint() const
{
    const QFontMetricsF metrics(Theme::font(kTitlePoints, QFont::DemiBold));
    const qreal width = kButtonPadding * 2 + kSymbolPoints + (text().isEmpty() ? 0 : kSymbolGap + metrics.horizontalAdvance(text()));
    return QSize(int(std::ceil(width)), kButtonHeight);
}

void GlassButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void GlassButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void GlassButton::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The capsule is painted once per look and copied: the window's search glow repaints the
    // header under the buttons at each step of a search's start and end, and their antialiased
    // fills were split over the raster engine's pool and waited for at every one.
    const QString look = QStringLiteral("glass-button:%1%2%3:%4:%5:%6")
                             .arg(int(m_prominent))
                             .arg(int(isDown()))
                             .arg(int(m_hovered))
                             .arg(theme.accent().rgba(), 0, 16)
                             .arg(theme.primary().rgba(), 0, 16)
                             .arg(theme.material(MaterialThickness::Regular).rgba(), 0, 16);
    Painting::drawCached(p, QRectF(rect()), look, [this, &theme](QPainter& q, const QRectF& area) {
        q.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = Painting::capsule(area.adjusted(0.5, 0.5, -0.5, -0.5));
        if (m_prominent) {
            QColor fill = theme.accent();
            if (isDown())
                fill = fill.darker(115);
            else if (m_hovered)
                fill = fill.lighter(108);
            q.fillPath(shape, fill);
            QLinearGradient sheen(0, area.top(), 0, area.bottom());
            sheen.setColorAt(0, Theme::white(0.22));
            sheen.setColorAt(0.5, Theme::white(0.0));
            q.fillPath(shape, sheen);
        } else {
            Painting::fillGlass(q, shape, theme);
            if (isDown())
                q.fillPath(shape, theme.primary(0.08));
            else if (m_hovered)
                q.fillPath(shape, theme.primary(0.04));
        }
    });
    const QPainterPath shape = Painting::capsule(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    QColor foreground = m_prominent ? Theme::white() : theme.label();
    if (!isEnabled())
        foreground = Theme::withOpacity(foreground, 0.4);
    if (hasFocus())
        Painting::stroke(p, shape, theme.accent(0.6), 1.5);

    const QFont font = Theme::font(kTitlePoints, QFont::DemiBold);
    const QFontMetricsF metrics(font);
    const qreal textWidth = text().isEmpty() ? 0 : kSymbolGap + metrics.horizontalAdvance(text());
    const qreal contentWidth = kSymbolPoints + textWidth;
    qreal x = (width() - contentWidth) / 2;
    IconMap::paint(p, QRectF(x, 0, kSymbolPoints, height()), m_symbol, foreground, kSymbolPoints);
    if (!text().isEmpty()) {
        p.setFont(font);
        p.setPen(foreground);
        p.drawText(QRectF(x + kSymbolPoints + kSymbolGap, 0, textWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
}

QColor ControlsStrip::tint(bool dark)
{
    return dark ? Theme::rgb(0.37, 0.73, 1.0) : Theme::rgb(0.6, 0.84, 1.0);
}

ControlsStrip::ControlsStrip(MainWindowState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_row = new QHBoxLayout(this);
    m_row->setContentsMargins(10, 5, 10, 5);
    m_row->setSpacing(9);

    m_secure = new GlassButton(QStringLiteral("lock.shield.fill"), QStringLiteral("Secure"), false, this);
    m_secure->setToolTip(QStringLiteral("New Secure Vesk"));
    m_newVesk = new GlassButton(QStringLiteral("plus"), QStringLiteral("New Vesk"), true, this);
    m_row->addWidget(m_secure);
    m_row->addWidget(m_newVesk);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    connect(m_secure, &QAbstractButton::clicked, this, [this] { m_state.setShowingSecureCapture(true); });
    // No secure composer, no button: a control that opens nothing is worse than none.
    const auto showSecure = [this] { m_secure->setVisible(m_state.sheetAvailable(SheetFlag::SecureCapture)); };
    showSecure();
    connect(&m_state, &MainWindowState::availableSheetsChanged, this, showSecure);
    connect(m_newVesk, &QAbstractButton::clicked, this, &ControlsStrip::newVeskRequested);
    connect(&m_state, &MainWindowState::memoryControlsNearbyChanged, this, qOverload<>(&QWidget::update));
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

void ControlsStrip::addLeadingControl(QWidget* control)
{
    control->setParent(this);
    m_row->insertWidget(m_leadingCount++, control);
}

void ControlsStrip::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    const bool nearby = m_state.memoryControlsNearby();
    const QColor tintColor = tint(theme.isDark());
    QPainter p(this);
    // Painted once per look and copied, as the glass buttons are.
    const QString look = QStringLiteral("controls-strip:%1:%2:%3")
                             .arg(int(nearby))
                             .arg(tintColor.rgba(), 0, 16)
                             .arg(theme.primary().rgba(), 0, 16);
    Painting::drawCached(p, QRectF(rect()), look, [&](QPainter& q, const QRectF& area) {
        q.setRenderHint(QPainter::Antialiasing);
        // Leave room for the shadow, which falls two points to the left.
        const QRectF capsuleRect = area.adjusted(1, 1, -1, -1);
        const QPainterPath capsule = Painting::capsule(capsuleRect);
        Painting::drawSoftShadow(q, capsule, Theme::withOpacity(tintColor, nearby ? 0.12 : 0.055), nearby ? 7 : 4,
                                 QPointF(-2, 0));
        q.fillPath(capsule, theme.primary(0.035));
        QLinearGradient wash(capsuleRect.topLeft(), capsuleRect.topRight());
        wash.setColorAt(0, Theme::withOpacity(tintColor, nearby ? 0.1 : 0.055));
        wash.setColorAt(1, Theme::withOpacity(tintColor, 0.0));
        q.fillPath(capsule, wash);
        Painting::stroke(q, capsule, Theme::withOpacity(tintColor, nearby ? 0.14 : 0.075), 0.8);
    });
}

} // namespace vesk
