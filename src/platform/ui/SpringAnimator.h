#pragma once
// Springs and curves of the UI kit (src/platform/ui/, see Theme.h).
//
// A spring is given as the design gives it, by response (seconds) and damping fraction, or by
// mass, stiffness and damping. SpringAnimator is a QVariantAnimation whose value follows the
// spring (it may overshoot the target when underdamped) and whose duration is the time the
// spring takes to settle.
//
//   auto* anim = new vesk::SpringAnimator(vesk::Spring::fromResponse(0.34, 0.82), widget);
//   connect(anim, &QVariantAnimation::valueChanged, widget, [=](const QVariant& v) { ... });
//   anim->animateTo(1.0);            // from the current value, keeping its velocity
//
// Curves: vesk::AnimationCurves::easeOut() etc. are the design's ease curves for QVariantAnimation.

#include <QEasingCurve>
#include <QVariantAnimation>

namespace vesk {

struct Spring {
    double mass = 1.0;
    double stiffness = 100.0;
    double damping = 20.0;

    // response: the period of the undamped oscillation; dampingFraction: 1 is critical damping,
    // below 1 bounces, above 1 creeps.
    static Spring fromResponse(double response, double dampingFraction);
    static Spring fromPhysical(double mass, double stiffness, double damping) { return {mass, stiffness, damping}; }

    double naturalFrequency() const;  // radians per second
    double dampingFraction() const;

    // Progress from 0 towards 1 at time t seconds, starting at rest unless an initial velocity
    // (in progress units per second) is given. Underdamped springs pass 1 before settling.
    double value(double t, double initialVelocity = 0.0) const;
    double velocity(double t, double initialVelocity = 0.0) const;
    // Seconds until the progress stays within `tolerance` of 1 (capped at 10 s).
    double settlingDuration(double initialVelocity = 0.0, double tolerance = 0.001) const;
};

class SpringAnimator : public QVariantAnimation {
    Q_OBJECT
public:
    explicit SpringAnimator(Spring spring, QObject* parent = nullptr);

    Spring spring() const { return m_spring; }

    // Starts from the current value towards target; a running spring hands its velocity on so a
    // retarget does not jerk. With no current value the animation jumps to the target.
    void animateTo(const QVariant& target);
    // Starts afresh from `from` at rest.
    void animate(const QVariant& from, const QVariant& to);

protected:
    QVariant interpolated(const QVariant& from, const QVariant& to, qreal progress) const override;

private:
    void startSpring(const QVariant& from, const QVariant& to, double initialVelocity);

    Spring m_spring;
    double m_initialVelocity = 0.0;
    double m_durationSeconds = 0.0;
};

namespace AnimationCurves {
QEasingCurve easeOut();
QEasingCurve easeInOut();
} // namespace AnimationCurves

} // namespace vesk
