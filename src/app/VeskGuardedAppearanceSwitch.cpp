#include "app/VeskGuardedAppearanceSwitch.h"

#include "app/AppearanceSwitchFace.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SpringAnimator.h"
#include "platform/ui/Theme.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRadialGradient>
#include <QTimer>
#include <QToolTip>
#include <QtMath>

namespace vesk {

namespace AppearanceSwitchRules {

AppearanceMode modeFromRawValue(const QString& raw)
{
    return raw == QLatin1String("dark") ? AppearanceMode::Dark : AppearanceMode::Light;
}

QString rawValue(AppearanceMode mode)
{
    return mode == AppearanceMode::Dark ? QStringLiteral("dark") : QStringLiteral("light");
}

double targetPosition(AppearanceMode mode)
{
    return mode == AppearanceMode::Dark ? southPosition : northPosition;
}

double dragPosition(AppearanceMode current, double verticalTranslation)
{
    return std::clamp(targetPosition(current) + verticalTranslation / pointsPerUnit, northPosition, southPosition);
}

AppearanceMode modeAtEnd(AppearanceMode current, QPointF translation, QPointF endLocation)
{
    const double distance = std::hypot(translation.x(), translation.y());
    if (distance < tapDistance)
        return endLocation.y() < tapDividerY ? AppearanceMode::Light : AppearanceMode::Dark;
    // A flip is judged on the unclamped position, so a drag far past the travel still counts.
    const double position = targetPosition(current) + translation.y() / pointsPerUnit;
    return position < 0 ? AppearanceMode::Light : AppearanceMode::Dark;
}

int leverDirection(double position)
{
    return position < 0 ? -1 : 1;
}

} // namespace AppearanceSwitchRules

namespace {

namespace Rules = AppearanceSwitchRules;

constexpr qreal kFaceWidth = 72;
constexpr qreal kFaceHeight = 92;
constexpr qreal kLeverAreaWidth = 54;
constexpr qreal kLeverAreaHeight = 74;
constexpr qreal kRowSpacing = 17;
constexpr qreal kColumnSpacing = 16;
constexpr qreal kButtonHeight = 16;
constexpr qreal kLampToText = 9;

QString buttonLabel(AppearanceMode mode)
{
    return mode == AppearanceMode::Dark ? QStringLiteral("DARK") : QStringLiteral("LIGHT");
}

QFont buttonFont(bool selected)
{
    return monospacedFont(11.5, selected ? QFont::Black : QFont::DemiBold, 0.8);
}

// Linux desktops have no haptic feedback; the selection step keeps its place for it.
void performAlignmentHaptic() {}

} // namespace

VeskGuardedAppearanceSwitch::VeskGuardedAppearanceSwitch(std::function<QString()> read,
                                                         std::function<void(const QString&)> write, QWidget* parent)
    : QWidget(parent)
    , m_read(std::move(read))
    , m_write(std::move(write))
{
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    setAccessibleName(QStringLiteral("Appearance"));
    m_leverShown = Rules::leverDirection(displayedPosition());
    m_leverSpring = new SpringAnimator(Spring::fromPhysical(1, 420, 22), this);
    connect(m_leverSpring, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_leverShown = value.toDouble();
        update();
    });
    setFixedSize(sizeHint());
}

AppearanceMode VeskGuardedAppearanceSwitch::currentMode() const
{
    return Rules::modeFromRawValue(m_read ? m_read() : QString());
}

double VeskGuardedAppearanceSwitch::displayedPosition() const
{
    return m_livePosition.value_or(Rules::targetPosition(currentMode()));
}

QSize VeskGuardedAppearanceSwitch::sizeHint() const
{
    const QFontMetricsF metrics(buttonFont(true));
    const qreal textWidth = std::max(metrics.horizontalAdvance(QStringLiteral("LIGHT")),
                                     metrics.horizontalAdvance(QStringLiteral("DARK")));
    const qreal width = 2 + kFaceWidth + kRowSpacing + 9 + kLampToText + textWidth + 2;
    return QSize(qCeil(width), qCeil(kFaceHeight + 2));
}

QRectF VeskGuardedAppearanceSwitch::faceRect() const
{
    return QRectF(2, (height() - kFaceHeight) / 2, kFaceWidth, kFaceHeight);
}

QRectF VeskGuardedAppearanceSwitch::leverArea() const
{
    const QPointF c = faceRect().center();
    return QRectF(c.x() - kLeverAreaWidth / 2, c.y() - kLeverAreaHeight / 2, kLeverAreaWidth, kLeverAreaHeight);
}

QRectF VeskGuardedAppearanceSwitch::buttonRect(AppearanceMode mode) const
{
    const qreal left = faceRect().right() + kRowSpacing;
    const qreal columnHeight = 2 * kButtonHeight + kColumnSpacing;
    const qreal top = (height() - columnHeight) / 2 + (mode == AppearanceMode::Dark ? kButtonHeight + kColumnSpacing : 0);
    return QRectF(left, top, width() - left - 2, kButtonHeight);
}

void VeskGuardedAppearanceSwitch::selectMode(AppearanceMode mode)
{
    m_isDragging = false;
    m_livePosition = Rules::targetPosition(mode);
    moveLever(true);
    performAlignmentHaptic();
    // Written a moment later, as the lever lands; a second selection meanwhile is written after
    // this one, so the last choice wins.
    QTimer::singleShot(Rules::writeDelayMs, this, [this, mode] {
        if (m_write)
            m_write(Rules::rawValue(mode));
        m_livePosition.reset();
        moveLever(true);
    });
}

void VeskGuardedAppearanceSwitch::valueChanged()
{
    moveLever(true);
}

void VeskGuardedAppearanceSwitch::moveLever(bool animated)
{
    setAccessibleDescription(currentMode() == AppearanceMode::Dark ? QStringLiteral("Dark") : QStringLiteral("Light"));
    const double target = Rules::leverDirection(displayedPosition());
    if (!animated || m_isDragging) {
        m_leverSpring->stop();
        m_leverShown = target;
        update();
        return;
    }
    if (!qFuzzyCompare(m_leverShown, target) || m_leverSpring->state() == QAbstractAnimation::Running) {
        if (m_leverSpring->currentValue().isValid() && m_leverSpring->state() == QAbstractAnimation::Running)
            m_leverSpring->animateTo(target);
        else
            m_leverSpring->animate(m_leverShown, target);
    }
    update();
}

void VeskGuardedAppearanceSwitch::mousePressEvent(QMouseEvent* event)
{
    const QPointF point = event->position();
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    for (AppearanceMode mode : {AppearanceMode::Light, AppearanceMode::Dark}) {
        if (buttonRect(mode).contains(point)) {
            selectMode(mode);
            return;
        }
    }
    if (!leverArea().contains(point))
        return QWidget::mousePressEvent(event);
    // The lever follows from the first moment of the press.
    m_pressedOnLever = true;
    m_pressPoint = point;
    m_isDragging = true;
    m_livePosition = Rules::dragPosition(currentMode(), 0);
    moveLever(false);
}

void VeskGuardedAppearanceSwitch::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressedOnLever)
        return QWidget::mouseMoveEvent(event);
    m_isDragging = true;
    m_livePosition = Rules::dragPosition(currentMode(), event->position().y() - m_pressPoint.y());
    moveLever(false);
}

void VeskGuardedAppearanceSwitch::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressedOnLever || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_pressedOnLever = false;
    const QPointF translation = event->position() - m_pressPoint;
    const QPointF local = event->position() - leverArea().topLeft();
    selectMode(Rules::modeAtEnd(currentMode(), translation, local));
}

bool VeskGuardedAppearanceSwitch::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QPointF point = help->pos();
        QString tip;
        if (leverArea().contains(point))
            tip = QStringLiteral("Switch between Light and Dark");
        else if (buttonRect(AppearanceMode::Light).contains(point))
            tip = QStringLiteral("Light");
        else if (buttonRect(AppearanceMode::Dark).contains(point))
            tip = QStringLiteral("Dark");
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void VeskGuardedAppearanceSwitch::paintButton(QPainter& painter, AppearanceMode mode) const
{
    const bool darkCurrent = currentMode() == AppearanceMode::Dark;
    const bool selected = mode == currentMode();
    const QColor ink = darkCurrent ? Qt::white : Qt::black;
    const QColor textColor = Theme::withOpacity(ink, selected ? (darkCurrent ? 0.82 : 0.72) : (darkCurrent ? 0.58 : 0.48));
    const QRectF row = buttonRect(mode);
    const QColor blue = emergenceBlue();

    const qreal lampSize = selected ? 9 : 7;
    const QRectF lamp(row.left() + (9 - lampSize) / 2, row.center().y() - lampSize / 2, lampSize, lampSize);
    QPainterPath circle;
    circle.addEllipse(lamp);
    QRadialGradient fill(lamp.center(), selected ? 6 : 4);
    if (selected) {
        Painting::drawSoftShadow(painter, circle, Theme::withOpacity(blue, 0.4), 4);
        fill.setColorAt(0, Theme::withOpacity(blue, 0.98));
        fill.setColorAt(0.5, Theme::withOpacity(blue, 0.78));
        fill.setColorAt(1, Theme::withOpacity(blue, 0.28));
    } else {
        fill.setColorAt(0, Theme::withOpacity(ink, 0.18));
        fill.setColorAt(1, darkCurrent ? Theme::white(0.075) : Theme::black(0.065));
    }
    painter.fillPath(circle, fill);
    painter.setPen(QPen(Theme::white(selected ? 0.26 : 0.055), 0.65));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(circle);

    painter.setFont(buttonFont(selected));
    painter.setPen(textColor);
    painter.drawText(QRectF(row.left() + 9 + kLampToText, row.top(), row.width(), row.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, buttonLabel(mode));
}

void VeskGuardedAppearanceSwitch::paintEvent(QPaintEvent*)
{
    // The window's search glow repaints the corner the switch stands in at each step of a
    // search's start and end: its plate, screws, shadows and lamps are painted once per look and
    // copied from then on.
    const qreal ratio = devicePixelRatioF();
    const Look look{m_leverShown, m_isDragging, currentMode(), (QSizeF(size()) * ratio).toSize(), ratio};
    if (m_picture.isNull() || !(look == m_pictureLook)) {
        m_picture = QImage(look.pixels, QImage::Format_ARGB32_Premultiplied);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::transparent);
        QPainter painter(&m_picture);
        painter.setRenderHint(QPainter::Antialiasing);
        AppearanceSwitchFaceState face;
        face.leverOffset = m_leverShown;
        face.dragging = m_isDragging;
        face.tipColor = emergenceBlue();
        paintAppearanceSwitchFace(painter, faceRect(), face);
        paintButton(painter, AppearanceMode::Light);
        paintButton(painter, AppearanceMode::Dark);
        m_pictureLook = look;
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), m_picture);
}

} // namespace vesk
