#include "platform/ui/Theme.h"

#include "platform/Settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace vesk {

Appearance appearanceFromRawValue(const QString& raw)
{
    return raw == QLatin1String(kDarkAppearanceRawValue) ? Appearance::Dark : Appearance::Light;
}

QString appearanceRawValue(Appearance appearance)
{
    return QLatin1String(appearance == Appearance::Dark ? kDarkAppearanceRawValue : kLightAppearanceRawValue);
}

ThemeColors ThemeColors::light()
{
    ThemeColors c;
    c.accent = QColor(0, 122, 255);
    c.primary = QColor(0, 0, 0);
    c.label = QColor(0, 0, 0, 217);
    c.secondaryLabel = QColor(0, 0, 0, 128);
    c.tertiaryLabel = QColor(0, 0, 0, 66);
    c.quaternaryLabel = QColor(0, 0, 0, 26);
    c.windowBackground = QColor(236, 236, 236);
    c.underPageBackground = QColor(214, 216, 220);
    c.controlBackground = QColor(255, 255, 255);
    c.textBackground = QColor(255, 255, 255);
    c.separator = QColor(0, 0, 0, 26);
    c.shadow = QColor(0, 0, 0);
    c.destructive = QColor(0xd7, 0x2c, 0x2c);
    return c;
}

ThemeColors ThemeColors::dark()
{
    ThemeColors c;
    c.accent = QColor(10, 132, 255);
    c.primary = QColor(255, 255, 255);
    c.label = QColor(255, 255, 255, 217);
    c.secondaryLabel = QColor(255, 255, 255, 140);
    c.tertiaryLabel = QColor(255, 255, 255, 64);
    c.quaternaryLabel = QColor(255, 255, 255, 26);
    c.windowBackground = QColor(38, 38, 40);
    c.underPageBackground = QColor(24, 24, 26);
    c.controlBackground = QColor(30, 30, 32);
    c.textBackground = QColor(30, 30, 32);
    c.separator = QColor(255, 255, 255, 26);
    c.shadow = QColor(0, 0, 0);
    c.destructive = QColor(0xff, 0x6b, 0x61);
    return c;
}

Theme::Theme(QObject* parent)
    : QObject(parent)
    , m_rawValue(QLatin1String(kLightAppearanceRawValue))
    , m_colors(ThemeColors::light())
{
}

Theme::~Theme() = default;

Theme& Theme::current()
{
    // Lives until exit with the application; widgets of every area read it.
    static Theme* theme = new Theme();
    return *theme;
}

std::shared_ptr<const Theme> Theme::snapshot() const
{
    auto copy = std::make_shared<Theme>();
    copy->m_rawValue = m_rawValue;
    copy->m_appearance = m_appearance;
    copy->m_colors = m_colors;
    copy->moveToThread(nullptr);
    return copy;
}

void Theme::attachSettings(std::shared_ptr<Settings> settings)
{
    m_settings = std::move(settings);
    if (!m_settings)
        return;
    const QString stored = m_settings->value(QLatin1String(kAppearanceSettingKey),
                                             QLatin1String(kLightAppearanceRawValue)).toString();
    const Appearance before = m_appearance;
    m_rawValue = stored;
    m_appearance = appearanceFromRawValue(stored);
    m_colors = m_appearance == Appearance::Dark ? ThemeColors::dark() : ThemeColors::light();
    if (before != m_appearance)
        emit appearanceChanged(m_appearance);
}

void Theme::setAppearanceRawValue(const QString& raw)
{
    if (raw == m_rawValue)
        return;
    m_rawValue = raw;
    if (m_settings)
        m_settings->setValue(QLatin1String(kAppearanceSettingKey), raw);
    const Appearance next = appearanceFromRawValue(raw);
    if (next == m_appearance)
        return;
    m_appearance = next;
    m_colors = next == Appearance::Dark ? ThemeColors::dark() : ThemeColors::light();
    emit appearanceChanged(next);
}

QColor Theme::material(MaterialThickness thickness) const
{
    static constexpr qreal alphas[] = {0.42, 0.55, 0.68, 0.8, 0.9};
    const qreal alpha = alphas[static_cast<int>(thickness)];
    return isDark() ? QColor::fromRgbF(0.12f, 0.12f, 0.13f, float(alpha))
                    : QColor::fromRgbF(1.0f, 1.0f, 1.0f, float(alpha));
}

namespace {
// Flattens a translucent colour onto an opaque background; stock widgets draw palette colours
// without blending expectations.
QColor over(const QColor& top, const QColor& bottom)
{
    const qreal a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)),
                            float(top.greenF() * a + bottom.greenF() * (1 - a)),
                            float(top.blueF() * a + bottom.blueF() * (1 - a)));
}
} // namespace

QPalette Theme::palette() const
{
    const ThemeColors& c = m_colors;
    QPalette p;
    const QColor text = over(c.label, c.textBackground);
    const QColor windowText = over(c.label, c.windowBackground);
    const QColor disabledText = over(c.tertiaryLabel, c.windowBackground);
    p.setColor(QPalette::Window, c.windowBackground);
    p.setColor(QPalette::WindowText, windowText);
    p.setColor(QPalette::Base, c.textBackground);
    p.setColor(QPalette::AlternateBase, over(c.quaternaryLabel, c.textBackground));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, c.controlBackground);
    p.setColor(QPalette::ButtonText, windowText);
    p.setColor(QPalette::BrightText, QColor(255, 255, 255));
    p.setColor(QPalette::Highlight, c.accent);
    p.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    p.setColor(QPalette::Link, c.accent);
    p.setColor(QPalette::LinkVisited, c.accent.darker(120));
    p.setColor(QPalette::PlaceholderText, over(c.tertiaryLabel, c.textBackground));
    p.setColor(QPalette::ToolTipBase, c.controlBackground);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Light, isDark() ? c.windowBackground.lighter(140) : QColor(255, 255, 255));
    p.setColor(QPalette::Midlight, isDark() ? c.windowBackground.lighter(120) : c.windowBackground.lighter(105));
    p.setColor(QPalette::Mid, over(c.separator, c.windowBackground).darker(110));
    p.setColor(QPalette::Dark, c.windowBackground.darker(150));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    return p;
}

QColor Theme::withOpacity(const QColor& color, qreal opacity)
{
    QColor result = color;
    result.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return result;
}

QColor Theme::rgb(qreal red, qreal green, qreal blue, qreal alpha)
{
    auto unit = [](qreal v) { return float(std::clamp(v, 0.0, 1.0)); };
    return QColor::fromRgbF(unit(red), unit(green), unit(blue), unit(alpha));
}

namespace {
qreal pointToFontPoints(qreal designPoints)
{
    // A design point is one logical pixel; QFont points are 1/72 inch at the screen's logical DPI.
    qreal dpi = 96.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    if (dpi <= 0)
        dpi = 96.0;
    return designPoints * 72.0 / dpi;
}
} // namespace

QFont Theme::font(qreal points, QFont::Weight weight)
{
    QFont f = QGuiApplication::font();
    f.setPointSizeF(pointToFontPoints(std::max<qreal>(points, 1.0)));
    f.setWeight(weight);
    return f;
}

qreal Theme::pointSize(TextStyle style)
{
    switch (style) {
    case TextStyle::LargeTitle: return 26;
    case TextStyle::Title: return 22;
    case TextStyle::Title2: return 17;
    case TextStyle::Title3: return 15;
    case TextStyle::Headline: return 13;
    case TextStyle::Body: return 13;
    case TextStyle::Callout: return 12;
    case TextStyle::Subheadline: return 11;
    case TextStyle::Footnote: return 10;
    case TextStyle::Caption: return 10;
    case TextStyle::Caption2: return 10;
    }
    return 13;
}

QFont::Weight Theme::weight(TextStyle style)
{
    return style == TextStyle::Headline ? QFont::Bold : QFont::Normal;
}

QFont Theme::font(TextStyle style)
{
    return font(pointSize(style), weight(style));
}

QFont Theme::monospacedDigitFont(qreal points, QFont::Weight weight)
{
    // Qt 6.4 cannot switch OpenType features; the system sans faces used here already draw
    // tabular digits, so the plain font keeps readouts from jittering.
    return font(points, weight);
}

} // namespace vesk
