#pragma once
// The shared look of every Vesk window: palettes, fonts and radii.
//
// Where the UI kit lives: src/platform/ui/ (Theme, IconMap, Painting, SpringAnimator). It sits in the
// lowest library so that the rich-text, preview and app areas can all link it; it needs Qt Gui only
// (no Widgets) and knows nothing of Vesk items. Include as "platform/ui/Theme.h".
//
// Use:
//   const vesk::Theme& theme = vesk::Theme::current();
//   painter.setPen(theme.secondary());             // secondary text colour of the appearance
//   painter.setBrush(theme.accent(0.06));           // accent at an opacity
//   label->setFont(vesk::Theme::font(13.5, QFont::DemiBold));
//   connect(&vesk::Theme::current(), &vesk::Theme::appearanceChanged, widget, [widget] { widget->update(); });
//
// Sizes in the design are points; on Linux one point is one device-independent pixel, and
// Theme::font() converts point sizes so text is as large as the design intends.

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPalette>
#include <QString>
#include <memory>

namespace vesk {

class Settings;

enum class Appearance { Light, Dark };

// The user-defaults key of the appearance setting; its values are "light" and "dark".
inline constexpr const char* kAppearanceSettingKey = "veskAppearance";
inline constexpr const char* kLightAppearanceRawValue = "light";
inline constexpr const char* kDarkAppearanceRawValue = "dark";

// Exactly "dark" is dark; any other stored text (including a mistyped one) is light.
Appearance appearanceFromRawValue(const QString& raw);
QString appearanceRawValue(Appearance appearance);

// Translucent fills standing in for the platform's blurred materials, thinnest first.
enum class MaterialThickness { UltraThin, Thin, Regular, Thick, UltraThick };

// The platform's named text styles, as point size and weight.
enum class TextStyle {
    LargeTitle, Title, Title2, Title3, Headline, Body, Callout, Subheadline, Footnote, Caption, Caption2
};

// Corner radii that recur across windows (points).
namespace Radii {
inline constexpr qreal searchCapsule = 12;
inline constexpr qreal card = 18;
inline constexpr qreal badge = 7;
inline constexpr qreal sheet = 14;
inline constexpr qreal dropZoneOutline = 28;
inline constexpr qreal dropHighlight = 26;
} // namespace Radii

// The resolved colours of one appearance.
struct ThemeColors {
    QColor accent;
    QColor primary;             // full-strength foreground: black in light, white in dark
    QColor label;               // body text
    QColor secondaryLabel;
    QColor tertiaryLabel;
    QColor quaternaryLabel;
    QColor windowBackground;
    QColor underPageBackground;
    QColor controlBackground;
    QColor textBackground;
    QColor separator;
    QColor shadow;
    QColor destructive;         // the text of actions that delete

    static ThemeColors light();
    static ThemeColors dark();
};

class Theme : public QObject {
    Q_OBJECT
public:
    explicit Theme(QObject* parent = nullptr);
    ~Theme() override;

    // The process-wide theme, created light on first use. main() binds it to the user defaults.
    static Theme& current();

    // An unchanging copy of this theme as it is now, for work handed to other threads: an
    // appearance switch changes this theme on the main thread while the work may still read the
    // copy. The copy belongs to no thread, so whichever thread lets go of it last may delete it.
    std::shared_ptr<const Theme> snapshot() const;

    // Reads "veskAppearance" (default "light") and from then on writes every change back there.
    void attachSettings(std::shared_ptr<Settings> settings);

    // The stored text as is ("light", "dark", or whatever the defaults held).
    QString appearanceRawValue() const { return m_rawValue; }
    void setAppearanceRawValue(const QString& raw);
    Appearance appearance() const { return m_appearance; }
    void setAppearance(Appearance appearance) { setAppearanceRawValue(vesk::appearanceRawValue(appearance)); }
    bool isDark() const { return m_appearance == Appearance::Dark; }

    const ThemeColors& colors() const { return m_colors; }

    // Semantic colours at an opacity (the opacity multiplies the colour's own alpha).
    QColor accent(qreal opacity = 1.0) const { return withOpacity(m_colors.accent, opacity); }
    QColor primary(qreal opacity = 1.0) const { return withOpacity(m_colors.primary, opacity); }
    QColor label(qreal opacity = 1.0) const { return withOpacity(m_colors.label, opacity); }
    QColor secondary(qreal opacity = 1.0) const { return withOpacity(m_colors.secondaryLabel, opacity); }
    QColor tertiary(qreal opacity = 1.0) const { return withOpacity(m_colors.tertiaryLabel, opacity); }
    QColor quaternary(qreal opacity = 1.0) const { return withOpacity(m_colors.quaternaryLabel, opacity); }
    QColor windowBackground(qreal opacity = 1.0) const { return withOpacity(m_colors.windowBackground, opacity); }
    QColor underPageBackground(qreal opacity = 1.0) const { return withOpacity(m_colors.underPageBackground, opacity); }
    QColor separator(qreal opacity = 1.0) const { return withOpacity(m_colors.separator, opacity); }
    QColor destructive(qreal opacity = 1.0) const { return withOpacity(m_colors.destructive, opacity); }
    // The colour of what went wrong and needs the user's eye (an item not saved, a failed import):
    // a warm red that reads on both appearances.
    static QColor failure(qreal opacity = 1.0) { return withOpacity(QColor(226, 84, 52), opacity); }
    static QColor white(qreal opacity = 1.0) { return withOpacity(QColor(255, 255, 255), opacity); }
    static QColor black(qreal opacity = 1.0) { return withOpacity(QColor(0, 0, 0), opacity); }

    // The fill of a translucent material of the current appearance.
    QColor material(MaterialThickness thickness) const;

    // A QPalette for QApplication::setPalette so stock widgets follow the appearance.
    QPalette palette() const;

    // Colour with its alpha multiplied by opacity (clamped to 0...1).
    static QColor withOpacity(const QColor& color, qreal opacity);
    // From the design's 0...1 RGB components.
    static QColor rgb(qreal red, qreal green, qreal blue, qreal alpha = 1.0);

    // The system font at a size in points and a weight.
    static QFont font(qreal points, QFont::Weight weight = QFont::Normal);
    static QFont font(TextStyle style);
    // The same size and weight with tabular (monospaced) digits, for readouts that tick.
    static QFont monospacedDigitFont(qreal points, QFont::Weight weight = QFont::Normal);
    static qreal pointSize(TextStyle style);
    static QFont::Weight weight(TextStyle style);

signals:
    void appearanceChanged(vesk::Appearance appearance);

private:
    QString m_rawValue;
    Appearance m_appearance = Appearance::Light;
    ThemeColors m_colors;
    std::shared_ptr<Settings> m_settings;
};

} // namespace vesk
