#pragma once
// The guarded appearance switch: a small switch panel whose lever stands up for the light
// appearance and down for the dark one, beside the "LIGHT" and "DARK" buttons with their lamps.
// Dragging the lever, tapping its upper or lower half, or clicking a button all end in one
// selection step, which writes "veskAppearance" a moment later.

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QTimer;

namespace vesk {

class SpringAnimator;

enum class AppearanceMode { Light, Dark };

// The switch's decisions, kept apart from the widget so they can be checked without one.
namespace AppearanceSwitchRules {
inline constexpr double northPosition = -1.0; // light, lever up
inline constexpr double southPosition = 1.0;  // dark, lever down
// Points of vertical drag per unit of position.
inline constexpr double pointsPerUnit = 26.0;
// A press that ends closer than this to where it began is a tap.
inline constexpr double tapDistance = 4.0;
// The lever area is 54 by 74 points; a tap above this line picks light.
inline constexpr double tapDividerY = 37.0;
// The selection is written this long after it is made.
inline constexpr int writeDelayMs = 50;

// Exactly "dark" is dark; every other text, any letter case, is light.
AppearanceMode modeFromRawValue(const QString& raw);
QString rawValue(AppearanceMode mode);
double targetPosition(AppearanceMode mode);
// The lever's position while dragging: measured from the stored mode's position, clamped.
double dragPosition(AppearanceMode current, double verticalTranslation);
// The mode a press selects when it ends, from its total translation and where it ended in the
// lever area's own coordinates (origin top-left, y down).
AppearanceMode modeAtEnd(AppearanceMode current, QPointF translation, QPointF endLocation);
// The lever points up (-1) for a position below 0, down (+1) from 0 on.
int leverDirection(double position);
} // namespace AppearanceSwitchRules

class VeskGuardedAppearanceSwitch : public QWidget {
    Q_OBJECT
public:
    // Bound to the appearance setting: `read` gives its text, `write` stores a new one, and
    // valueChanged() must be called when it changes from elsewhere.
    VeskGuardedAppearanceSwitch(std::function<QString()> read, std::function<void(const QString&)> write,
                                QWidget* parent = nullptr);

    // The light colour of the selected lamp and of the lever tip.
    static QColor emergenceBlue() { return QColor::fromRgbF(0.24f, 0.68f, 1.0f); }

    AppearanceMode currentMode() const;
    bool isDragging() const { return m_isDragging; }
    std::optional<double> livePosition() const { return m_livePosition; }
    // livePosition when set, else the stored mode's position.
    double displayedPosition() const;
    // Where the lever is drawn, between -1 and +1, following its spring.
    double drawnLeverOffset() const { return m_leverShown; }
    // The switch as last painted, copied by each repaint until its look changes.
    const QImage& keptPicture() const { return m_picture; }

    // The one selection step, shared by the lever and both buttons.
    void selectMode(AppearanceMode mode);
    // Re-reads the bound setting (it changed elsewhere): the lever springs to it.
    void valueChanged();

    // The face (72 by 92) and, centred in it, the lever area (54 by 74), in widget coordinates.
    QRectF faceRect() const;
    QRectF leverArea() const;
    QRectF buttonRect(AppearanceMode mode) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void moveLever(bool animated);
    void paintButton(QPainter& painter, AppearanceMode mode) const;

    std::function<QString()> m_read;
    std::function<void(const QString&)> m_write;
    bool m_isDragging = false;
    bool m_pressedOnLever = false;
    std::optional<double> m_livePosition;
    QPointF m_pressPoint;
    double m_leverShown = -1.0;
    SpringAnimator* m_leverSpring = nullptr;
    // What m_picture shows: the lever, the drag, the mode lit, and the pixels it was painted at.
    struct Look {
        double lever = 0;
        bool dragging = false;
        AppearanceMode mode = AppearanceMode::Light;
        QSize pixels;
        qreal ratio = 0;
        bool operator==(const Look&) const = default;
    };
    QImage m_picture;
    Look m_pictureLook;
};

} // namespace vesk
