#include "app/CaptureDropZone.h"

#include "app/BorderedButton.h"
#include "app/MainWindowState.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SpringAnimator.h"
#include "platform/ui/Theme.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <cmath>

namespace vesk {

namespace {

// The 116-point medallion: an ultra-thin disc with the pin, tilted 18 degrees.
class Medallion : public QWidget {
public:
    explicit Medallion(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(116, 116);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Theme& theme = Theme::current();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath disc;
        disc.addEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        Painting::fillMaterial(p, disc, MaterialThickness::UltraThin, theme);
        IconMap::paint(p, rect(), QStringLiteral("pin.fill"), theme.secondary(), 42, 18);
    }
};

} // namespace

CaptureDropZone::CaptureDropZone(MainWindowState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setAttribute(Qt::WA_TranslucentBackground);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(22);
    column->addStretch(1);

    m_medallion = new Medallion(this);
    column->addWidget(m_medallion, 0, Qt::AlignHCenter);

    auto* texts = new QVBoxLayout();
    texts->setSpacing(7);
    auto* headline = new QLabel(QStringLiteral("Drop something you don't want to lose."), this);
    headline->setObjectName(QStringLiteral("dropZoneHeadline"));
    headline->setFont(Theme::font(25, QFont::Bold));
    headline->setAlignment(Qt::AlignHCenter);
    auto* subline = new QLabel(QStringLiteral("Text, links, images, or files. Vesk will keep the thread."), this);
    subline->setObjectName(QStringLiteral("dropZoneSubline"));
    subline->setFont(Theme::font(14));
    subline->setAlignment(Qt::AlignHCenter);
    texts->addWidget(headline);
    texts->addWidget(subline);
    column->addLayout(texts);

    m_createText = new BorderedButton(QStringLiteral("Create a text Vesk"), this);
    column->addWidget(m_createText, 0, Qt::AlignHCenter);

    auto* footnote = new QLabel(QStringLiteral("Everything stays on this computer."), this);
    footnote->setObjectName(QStringLiteral("dropZoneFootnote"));
    footnote->setFont(Theme::font(TextStyle::Caption));
    footnote->setAlignment(Qt::AlignHCenter);
    column->addWidget(footnote);
    column->addStretch(1);

    connect(m_createText, &QPushButton::clicked, this, &CaptureDropZone::openTextCaptureRequested);

    m_outlineAnimation = new QVariantAnimation(this);
    m_outlineAnimation->setDuration(150);
    m_outlineAnimation->setEasingCurve(AnimationCurves::easeOut());
    connect(m_outlineAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_outline = value.toDouble();
        update();
    });
    connect(&m_state, &MainWindowState::isTargetedChanged, this, [this] {
        m_outlineAnimation->stop();
        m_outlineAnimation->setStartValue(m_outline);
        m_outlineAnimation->setEndValue(m_state.isTargeted() ? 1.0 : 0.0);
        m_outlineAnimation->start();
    });
    connect(&Theme::current(), &Theme::appearanceChanged, this, &CaptureDropZone::refreshColors);
    refreshColors();
}

void CaptureDropZone::refreshColors()
{
    const Theme& theme = Theme::current();
    auto colorize = [&](const char* name, const QColor& color) {
        if (auto* label = findChild<QLabel*>(QLatin1String(name))) {
            QPalette palette = label->palette();
            palette.setColor(QPalette::WindowText, color);
            label->setPalette(palette);
        }
    };
    colorize("dropZoneHeadline", theme.label());
    colorize("dropZoneSubline", theme.secondary());
    colorize("dropZoneFootnote", theme.tertiary());
    update();
}

void CaptureDropZone::paintEvent(QPaintEvent*)
{
    if (m_outline <= 0.0)
        return;
    QPainter p(this);
    const QRectF outline = QRectF(rect()).adjusted(outlineInset, outlineInset, -outlineInset, -outlineInset);
    Painting::strokeDashed(p, Painting::roundedRect(outline, outlineRadius),
                           Theme::current().accent(0.8 * m_outline), 2, {8, 8});
}

} // namespace vesk
