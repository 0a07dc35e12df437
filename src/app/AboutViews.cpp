#include "app/AboutViews.h"

#include "platform/Log.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QUrl>

namespace vesk {

namespace {

QString textOr(const QVariant& value, const QString& fallback)
{
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return fallback;
    const QString text = value.toString();
    return text.isEmpty() ? fallback : text;
}

// The two forms differ in size, type and wording; everything else is shared.
struct AboutForm {
    qreal topInset;
    qreal sideInset;
    qreal columnSpacing;
    qreal titleSpacing;
    qreal wordmarkSize;
    QFont::Weight wordmarkWeight;
    qreal wordmarkTracking;
    QString tagline;
    qreal taglineSize;
    qreal versionSize;
    QFont::Weight versionWeight;
    qreal dividerInset;
    qreal dividerOpacity;
    QStringList slogan;
    qreal sloganSize;
    QFont::Weight sloganWeight;
    QString description;
    QString driveSymbol;
    qreal chipSize;
    qreal chipSpacing;
    qreal makerSize;
    QFont::Weight makerWeight;
    bool iconShadow;
};

AboutForm windowForm()
{
    return {18 + 42 + 0, 44, 18, 7, 36, QFont::Black, 0, QStringLiteral("A place for everything in your life."), 16,
            13, QFont::DemiBold, 46, 1.0,
            {QStringLiteral("Your brain makes associations."), QStringLiteral("Vesk makes associations retrievable.")},
            17, QFont::Bold,
            QStringLiteral("Capture notes, ideas, images, links, files, and fragments. Find them again from whatever "
                           "you remember."),
            QStringLiteral("externaldrive"), 13, 18, 12, QFont::DemiBold, false};
}

AboutForm cardForm()
{
    return {18 + 16 + 28, 28 + 18, 16, 5, 34, QFont::ExtraBold, 2, QStringLiteral("A place to rediscover your life."),
            14, 11.5, QFont::Medium, 28, 0.55,
            {QStringLiteral("Your brain makes associations. Vesk makes them retrievable.")}, 15, QFont::DemiBold,
            QString(), QStringLiteral("internaldrive"), 10.5, 10, 10, QFont::Normal, true};
}

qreal textHeight(const QFont& font, const QString& text, qreal width)
{
    return QFontMetricsF(font).boundingRect(QRectF(0, 0, width, 10000), Qt::AlignHCenter | Qt::TextWordWrap, text).height();
}

struct ColumnLayout {
    QRectF link;
    qreal bottom = 0;
};

// Paints the shared column from the top of `area` and says where the link button goes and where
// the column ends.
ColumnLayout paintAboutColumnFromTop(QPainter& p, const QRectF& area, const AboutForm& form, const Theme& theme,
                                     QSizeF linkSize)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    qreal y = area.top();
    const qreal cx = area.center().x();

    const QRectF iconRect(cx - 46, y, 92, 92);
    if (form.iconShadow)
        Painting::drawSoftShadow(p, Painting::roundedRect(iconRect.adjusted(6, 6, -6, -6), 20), Theme::black(0.26), 14,
                                 {0, 7});
    p.drawImage(iconRect, appIconImage(184));
    y = iconRect.bottom() + form.columnSpacing;

    QFont wordmark = Theme::font(form.wordmarkSize, form.wordmarkWeight);
    wordmark.setLetterSpacing(QFont::AbsoluteSpacing, form.wordmarkTracking);
    const auto line = [&](const QFont& font, const QColor& color, const QString& text, qreal width, qreal after) {
        const qreal h = textHeight(font, text, width);
        p.setFont(font);
        p.setPen(color);
        p.drawText(QRectF(cx - width / 2, y, width, h), Qt::AlignHCenter | Qt::TextWordWrap, text);
        y += h + after;
    };
    line(wordmark, theme.label(), QStringLiteral("VESK"), area.width(), form.titleSpacing);
    line(Theme::font(form.taglineSize, QFont::DemiBold), theme.secondary(), form.tagline, area.width(), form.titleSpacing);
    QFont version = Theme::font(form.versionSize, form.versionWeight);
    version.setFamily(QStringLiteral("DejaVu Sans Mono"));
    line(version, theme.tertiary(), aboutVersionLine(), area.width(), form.columnSpacing);

    p.fillRect(QRectF(area.left() + form.dividerInset, y, area.width() - 2 * form.dividerInset, 1),
               theme.separator(form.dividerOpacity));
    y += 1 + form.columnSpacing;

    for (qsizetype i = 0; i < form.slogan.size(); ++i)
        line(Theme::font(form.sloganSize, form.sloganWeight), theme.label(), form.slogan[i], area.width(),
             i + 1 < form.slogan.size() ? 10 : form.columnSpacing);
    if (!form.description.isEmpty())
        line(Theme::font(14.5, QFont::DemiBold), theme.secondary(), form.description, qMin<qreal>(560, area.width()),
             form.columnSpacing);

    // The chips: a symbol and a word each, centred as one row.
    const QFont chipFont = Theme::font(form.chipSize, QFont::DemiBold);
    const QFontMetricsF chipMetrics(chipFont);
    const QList<std::pair<QString, QString>> chips{{form.driveSymbol, QStringLiteral("Local-first")},
                                                   {QStringLiteral("lock"), QStringLiteral("Private")},
                                                   {QStringLiteral("sparkles"), QStringLiteral("Associative")}};
    const qreal symbol = form.chipSize * 1.15;
    qreal rowWidth = 0;
    for (const auto& chip : chips)
        rowWidth += symbol + 4 + chipMetrics.horizontalAdvance(chip.second);
    rowWidth += form.chipSpacing * (chips.size() - 1);
    qreal x = cx - rowWidth / 2;
    const qreal chipHeight = chipMetrics.height();
    p.setFont(chipFont);
    for (const auto& chip : chips) {
        IconMap::paint(p, QRectF(x, y, symbol, chipHeight), chip.first, theme.secondary(), symbol);
        x += symbol + 4;
        p.setFont(chipFont);
        p.setPen(theme.secondary());
        const qreal w = chipMetrics.horizontalAdvance(chip.second);
        p.drawText(QRectF(x, y, w + 1, chipHeight), Qt::AlignLeft | Qt::AlignVCenter, chip.second);
        x += w + form.chipSpacing;
    }
    y += chipHeight + form.columnSpacing + 4;

    const QRectF link(cx - linkSize.width() / 2, y, linkSize.width(), linkSize.height());
    y = link.bottom() + form.columnSpacing + 2;
    line(Theme::font(form.makerSize, form.makerWeight), theme.tertiary(), makerLine(), area.width(), 0);
    return {link, y};
}

// The column stands centred in `area`; returns where the link button goes.
QRectF paintAboutColumn(QPainter& p, const QRectF& area, const AboutForm& form, const Theme& theme, QSizeF linkSize)
{
    QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter measure(&scratch);
    const ColumnLayout measured = paintAboutColumnFromTop(measure, area, form, theme, linkSize);
    measure.end();
    const qreal slack = std::max<qreal>(0, area.bottom() - measured.bottom);
    return paintAboutColumnFromTop(p, area.translated(0, slack / 2), form, theme, linkSize).link;
}

QString buttonStyle(const Theme& theme, bool prominent, qreal radius)
{
    const QColor fill = prominent ? theme.accent() : theme.primary(0.08);
    const QColor text = prominent ? QColor(Qt::white) : theme.label();
    return QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: %4px;"
                          " padding: 4px 14px; font-weight: 600; }"
                          "QPushButton:hover { background: %5; }")
        .arg(fill.name(QColor::HexArgb), text.name(QColor::HexArgb), theme.primary(0.12).name(QColor::HexArgb))
        .arg(radius)
        .arg((prominent ? fill.lighter(110) : theme.primary(0.14)).name(QColor::HexArgb));
}

QPushButton* makeLinkButton(QWidget* parent, const Theme& theme, int height)
{
    auto* link = new QPushButton(makerName(), parent);
    link->setObjectName(QStringLiteral("aboutLink"));
    link->setIcon(IconMap::icon(QStringLiteral("arrow.up.right"), Qt::white, 14));
    link->setLayoutDirection(Qt::RightToLeft);
    link->setCursor(Qt::PointingHandCursor);
    link->setStyleSheet(buttonStyle(theme, true, height / 2));
    link->setFixedHeight(height);
    link->adjustSize();
    link->setToolTip(makerAddress());
    QObject::connect(link, &QPushButton::clicked, link, [] { openMakerWebsite(); });
    return link;
}

QPushButton* makeCloseButton(QWidget* parent, const Theme& theme, QSize size, qreal symbolSize)
{
    auto* close = new QPushButton(parent);
    close->setObjectName(QStringLiteral("aboutClose"));
    close->setToolTip(QStringLiteral("Close"));
    close->setFixedSize(size);
    close->setIcon(IconMap::icon(QStringLiteral("xmark"), theme.label(), int(symbolSize)));
    close->setIconSize(QSize(int(symbolSize), int(symbolSize)));
    close->setStyleSheet(buttonStyle(theme, false, qMin(size.width(), size.height()) / 2.0));
    close->setCursor(Qt::PointingHandCursor);
    return close;
}

} // namespace

QString aboutVersionLine(const QVariant& shortVersion, const QVariant& build)
{
    return QStringLiteral("Version ") + textOr(shortVersion, QStringLiteral("1.0")) + QStringLiteral("  \u2022  Build ")
        + textOr(build, QStringLiteral("1"));
}

QString aboutVersionLine()
{
#ifdef VESK_VERSION
    const QVariant version = QStringLiteral(VESK_VERSION);
#else
    const QVariant version;
#endif
#ifdef VESK_BUILD_NUMBER
    const QVariant build = QStringLiteral(VESK_BUILD_NUMBER);
#else
    const QVariant build;
#endif
    return aboutVersionLine(version, build);
}

QString makerName() { return QStringLiteral("Kestrovane"); }
QString makerAddress() { return QStringLiteral("https://kestrovane.com"); }
QString makerLine() { return QStringLiteral("Made by Kestrovane, 2026."); }

void openMakerWebsite()
{
    const QUrl url(makerAddress());
    if (!url.isValid())
        return;
    if (!QDesktopServices::openUrl(url))
        veskLog(QStringLiteral("Vesk could not open ") + url.toString());
}

QImage appIconImage(int pixelSize)
{
    QImage image(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal inset = pixelSize * 0.06;
    const QRectF badge(inset, inset, pixelSize - 2 * inset, pixelSize - 2 * inset);
    QLinearGradient fill(badge.topLeft(), badge.bottomRight());
    fill.setColorAt(0, Theme::rgb(0.24, 0.56, 1.0));
    fill.setColorAt(1, Theme::rgb(0.2, 0.45, 0.95));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(Painting::roundedRect(badge, badge.width() * 0.28));
    IconMap::paint(p, badge, QStringLiteral("pin.fill"), Theme::white(0.95), badge.width() * 0.6);
    return image;
}

VeskMenuAboutView::VeskMenuAboutView(QString appearanceRawValue, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("vesk-about"));
    setWindowTitle(QStringLiteral("About Vesk"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The setting chooses the look in any letter case.
    m_theme.setAppearanceRawValue(appearanceRawValue.toLower());
    setPalette(m_theme.palette());
    setFixedSize(contentWidth, contentHeight);

    m_close = makeCloseButton(this, m_theme, QSize(54, 42), 17);
    m_close->move(contentWidth - 22 - 54, 18);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    m_link = makeLinkButton(this, m_theme, 34);
}

void VeskMenuAboutView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient back(0, 0, 0, height());
    back.setColorAt(0, m_theme.windowBackground());
    back.setColorAt(1, m_theme.underPageBackground(0.94));
    p.fillRect(rect(), back);
    const AboutForm form = windowForm();
    const QRectF area(form.sideInset, form.topInset, width() - 2 * form.sideInset, height() - form.topInset - 34);
    const QRectF link = paintAboutColumn(p, area, form, m_theme, m_link->size());
    m_link->move(link.topLeft().toPoint());
}

VeskAboutCard::VeskAboutCard(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutCard"));
    setWindowTitle(QStringLiteral("About Vesk"));
    setFixedSize(contentWidth, contentHeight);
    const Theme& theme = Theme::current();
    m_close = makeCloseButton(this, theme, QSize(28, 28), 12);
    m_close->move(contentWidth - 18 - 18 - 28, 18 + 16);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    m_link = makeLinkButton(this, theme, 28);
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

void VeskAboutCard::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, width(), height());
    back.setColorAt(0, theme.windowBackground());
    back.setColorAt(1, theme.underPageBackground(0.93));
    p.fillRect(rect(), back);
    QRadialGradient glow(QPointF(width() / 2.0, 0), 300);
    glow.setColorAt(10.0 / 300, theme.accent(0.11));
    glow.setColorAt(1, Qt::transparent);
    p.fillRect(rect(), glow);

    const QRectF card = QRectF(rect()).adjusted(18, 18, -18, -18);
    const QPainterPath shape = Painting::roundedRect(card, 22);
    Painting::drawSoftShadow(p, shape, Theme::black(theme.isDark() ? 0.32 : 0.12), 28, {0, 14});
    p.fillPath(shape, theme.material(MaterialThickness::UltraThin));
    p.setPen(QPen(theme.primary(theme.isDark() ? 0.16 : 0.10), 0.8));
    p.drawPath(shape);

    const AboutForm form = cardForm();
    const QRectF area(card.left() + 28, card.top() + 16 + 28, card.width() - 56, card.height() - 16 - 28 - 26);
    const QRectF link = paintAboutColumn(p, area, form, theme, m_link->size());
    m_link->move(link.topLeft().toPoint());
}

AboutWindowController::AboutWindowController(std::function<QString()> appearanceRawValue, QObject* parent)
    : QObject(parent)
    , m_appearance(std::move(appearanceRawValue))
{
}

AboutWindowController::~AboutWindowController()
{
    delete m_window.data();
}

VeskMenuAboutView* AboutWindowController::open()
{
    if (!m_window)
        m_window = new VeskMenuAboutView(m_appearance ? m_appearance() : QString());
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}

} // namespace vesk
