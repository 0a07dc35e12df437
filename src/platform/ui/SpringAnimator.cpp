#include "platform/ui/SpringAnimator.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <algorithm>
#include <cmath>

namespace vesk {

Spring Spring::fromResponse(double response, double dampingFraction)
{
    const double period = std::max(response, 0.001);
    const double omega = 2.0 * M_PI / period;
    Spring spring;
    spring.mass = 1.0;
    spring.stiffness = omega * omega;
    spring.damping = 2.0 * std::max(dampingFraction, 0.0) * omega;
    return spring;
}

double Spring::naturalFrequency() const
{
    return std::sqrt(std::max(stiffness, 1e-9) / std::max(mass, 1e-9));
}

double Spring::dampingFraction() const
{
    return damping / (2.0 * std::sqrt(std::max(stiffness, 1e-9) * std::max(mass, 1e-9)));
}

namespace {
// Displacement from the target (progress - 1) and its rate, for d(0) = -1, d'(0) = v0.
struct Motion {
    double displacement;
    double rate;
};

Motion springMotion(const Spring& spring, double t, double v0)
{
    const double w0 = spring.naturalFrequency();
    const double zeta = spring.dampingFraction();
    const double a = -1.0;
    if (t <= 0)
        return {a, v0};
    if (std::abs(zeta - 1.0) < 1e-6) {
        const double b = v0 + w0 * a;
        const double e = std::exp(-w0 * t);
        return {e * (a + b * t), e * (b - w0 * (a + b * t))};
    }
    if (zeta < 1.0) {
        const double wd = w0 * std::sqrt(1.0 - zeta * zeta);
        const double b = (v0 + zeta * w0 * a) / wd;
        const double e = std::exp(-zeta * w0 * t);
        const double c = std::cos(wd * t);
        const double s = std::sin(wd * t);
        const double d = e * (a * c + b * s);
        const double rate = -zeta * w0 * d + e * (-a * wd * s + b * wd * c);
        return {d, rate};
    }
    const double root = w0 * std::sqrt(zeta * zeta - 1.0);
    const double r1 = -zeta * w0 + root;
    const double r2 = -zeta * w0 - root;
    const double c2 = (v0 - r1 * a) / (r2 - r1);
    const double c1 = a - c2;
    return {c1 * std::exp(r1 * t) + c2 * std::exp(r2 * t), c1 * r1 * std::exp(r1 * t) + c2 * r2 * std::exp(r2 * t)};
}
} // namespace

double Spring::value(double t, double initialVelocity) const
{
    return 1.0 + springMotion(*this, t, initialVelocity).displacement;
}

double Spring::velocity(double t, double initialVelocity) const
{
    return springMotion(*this, t, initialVelocity).rate;
}

double Spring::settlingDuration(double initialVelocity, double tolerance) const
{
    constexpr double step = 1.0 / 240.0;
    constexpr double limit = 10.0;
    double lastOutside = 0.0;
    for (double t = 0.0; t <= limit; t += step) {
        if (std::abs(springMotion(*this, t, initialVelocity).displacement) >= tolerance)
            lastOutside = t;
    }
    return std::min(lastOutside + step, limit);
}

SpringAnimator::SpringAnimator(Spring spring, QObject* parent)
    : QVariantAnimation(parent)
    , m_spring(spring)
{
    setEasingCurve(QEasingCurve::Linear);
}

void SpringAnimator::animate(const QVariant& from, const QVariant& to)
{
    stop();
    startSpring(from, to, 0.0);
}

void SpringAnimator::animateTo(const QVariant& target)
{
    QVariant from = currentValue();
    double velocity = 0.0;
    if (state() == QAbstractAnimation::Running && m_durationSeconds > 0) {
        // Carry the motion over for scalar values: the old velocity in value units, rescaled
        // to progress units of the new leg.
        const double t = currentTime() / 1000.0;
        const double oldSpan = endValue().toDouble() - startValue().toDouble();
        const double newSpan = target.toDouble() - from.toDouble();
        bool scalar = from.canConvert<double>() && target.canConvert<double>()
            && from.typeId() != QMetaType::QColor;
        if (scalar && std::abs(newSpan) > 1e-9)
            velocity = m_spring.velocity(t, m_initialVelocity) * oldSpan / newSpan;
    }
    stop();
    if (!from.isValid()) {
        setStartValue(target);
        setEndValue(target);
        setDuration(0);
        start();
        return;
    }
    startSpring(from, target, velocity);
}

void SpringAnimator::startSpring(const QVariant& from, const QVariant& to, double initialVelocity)
{
    m_initialVelocity = initialVelocity;
    m_durationSeconds = m_spring.settlingDuration(initialVelocity);
    setStartValue(from);
    setEndValue(to);
    setDuration(std::max(1, int(std::lround(m_durationSeconds * 1000.0))));
    start();
}

QVariant SpringAnimator::interpolated(const QVariant& from, const QVariant& to, qreal progress) const
{
    // progress runs linearly over the settling time; the spring maps time to its own progress.
    const double p = progress >= 1.0 ? 1.0 : m_spring.value(progress * m_durationSeconds, m_initialVelocity);
    auto mix = [p](double a, double b) { return a + (b - a) * p; };
    switch (to.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return mix(from.toDouble(), to.toDouble());
    case QMetaType::Int:
        return int(std::lround(mix(from.toDouble(), to.toDouble())));
    case QMetaType::QPointF: {
        const QPointF a = from.toPointF(), b = to.toPointF();
        return QPointF(mix(a.x(), b.x()), mix(a.y(), b.y()));
    }
    case QMetaType::QSizeF: {
        const QSizeF a = from.toSizeF(), b = to.toSizeF();
        return QSizeF(mix(a.width(), b.width()), mix(a.height(), b.height()));
    }
    case QMetaType::QRectF: {
        const QRectF a = from.toRectF(), b = to.toRectF();
        return QRectF(mix(a.x(), b.x()), mix(a.y(), b.y()), mix(a.width(), b.width()), mix(a.height(), b.height()));
    }
    case QMetaType::QColor: {
        const QColor a = from.value<QColor>(), b = to.value<QColor>();
        auto unit = [&](double x, double y) { return float(std::clamp(mix(x, y), 0.0, 1.0)); };
        return QColor::fromRgbF(unit(a.redF(), b.redF()), unit(a.greenF(), b.greenF()), unit(a.blueF(), b.blueF()),
                                unit(a.alphaF(), b.alphaF()));
    }
    default:
        return QVariantAnimation::interpolated(from, to, std::clamp(p, 0.0, 1.0));
    }
}

namespace AnimationCurves {
namespace {
QEasingCurve bezier(double x1, double y1, double x2, double y2)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(x1, y1), QPointF(x2, y2), QPointF(1.0, 1.0));
    return curve;
}
} // namespace

QEasingCurve easeOut() { return bezier(0.0, 0.0, 0.58, 1.0); }
QEasingCurve easeInOut() { return bezier(0.42, 0.0, 0.58, 1.0); }
} // namespace AnimationCurves

} // namespace vesk
