#include "grid/ResultStatesWidgets.h"

#include "grid/BusyBar.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "platform/ui/ControlText.h"

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

// A colour of the current appearance, looked up again when the appearance changes.
using ThemeColor = QColor (*)(const Theme&);
QColor labelColor(const Theme& theme) { return theme.label(); }
QColor secondaryColor(const Theme& theme) { return theme.secondary(); }
QColor tertiaryColor(const Theme& theme) { return theme.tertiary(); }

QString colorStyle(const QColor& color)
{
    return QStringLiteral("color: rgba(%1, %2, %3, %4);")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QLabel* textLabel(const QString& text, const QFont& font, ThemeColor color, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    // The colour is the label's own style, not its palette: a palette role is lost when the label
    // moves between parents and inherits the application's palette again.
    auto apply = [label, color] { label->setStyleSheet(colorStyle(color(Theme::current()))); };
    apply();
    QObject::connect(&Theme::current(), &Theme::appearanceChanged, label, apply);
    return label;
}

QLabel* symbolLabel(const QString& symbol, ThemeColor color, int points, QWidget* parent)
{
    auto* label = new QLabel(parent);
    const int side = points + 6;
    auto apply = [label, symbol, color, side] {
        label->setPixmap(IconMap::pixmap(symbol, color(Theme::current()), side, label->devicePixelRatioF()));
    };
    apply();
    QObject::connect(&Theme::current(), &Theme::appearanceChanged, label, apply);
    label->setFixedSize(side, side);
    return label;
}

QPushButton* smallButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(controlText(text), parent);
    button->setFont(Theme::font(Theme::pointSize(TextStyle::Caption)));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// A rounded capsule behind the surfaced count.
class CountBadge : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(Painting::capsule(QRectF(rect())), Theme::current().material(MaterialThickness::Thin));
        QLabel::paintEvent(event);
    }
};

} // namespace

ResultsHeaderWidget::ResultsHeaderWidget(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(48);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    m_surfaced = new QWidget(this);
    auto* surfacedRow = new QHBoxLayout(m_surfaced);
    surfacedRow->setContentsMargins(0, 0, 0, 0);
    surfacedRow->setSpacing(8);
    surfacedRow->addWidget(symbolLabel(QStringLiteral("sparkles"), secondaryColor, 16, m_surfaced));
    auto* surfacedTexts = new QVBoxLayout;
    surfacedTexts->setSpacing(1);
    surfacedTexts->addWidget(textLabel(QStringLiteral("Surfaced"), Theme::font(TextStyle::Headline), labelColor, m_surfaced));
    surfacedTexts->addWidget(textLabel(QStringLiteral("The closest memories rise first."), Theme::font(TextStyle::Caption2),
                                       tertiaryColor, m_surfaced));
    surfacedRow->addLayout(surfacedTexts);
    m_surfacedCount = new CountBadge(m_surfaced);
    m_surfacedCount->setFont(Theme::font(Theme::pointSize(TextStyle::Caption), QFont::DemiBold));
    m_surfacedCount->setContentsMargins(7, 3, 7, 3);
    auto applyCountColor = [this] {
        QPalette countPalette = m_surfacedCount->palette();
        countPalette.setColor(QPalette::WindowText, Theme::current().secondary());
        m_surfacedCount->setPalette(countPalette);
    };
    applyCountColor();
    connect(&Theme::current(), &Theme::appearanceChanged, m_surfacedCount, applyCountColor);
    m_surfacedCount->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    surfacedRow->addWidget(m_surfacedCount, 0, Qt::AlignVCenter);
    row->addWidget(m_surfaced);

    m_browse = new QWidget(this);
    auto* browseRow = new QHBoxLayout(m_browse);
    browseRow->setContentsMargins(0, 0, 0, 0);
    browseRow->setSpacing(8);
    auto* browseTexts = new QVBoxLayout;
    browseTexts->setSpacing(1);
    m_browseTitle = textLabel(QString(), Theme::font(TextStyle::Headline), labelColor, m_browse);
    m_browseSubtitle = textLabel(QString(), Theme::font(TextStyle::Caption2), tertiaryColor, m_browse);
    browseTexts->addWidget(m_browseTitle);
    browseTexts->addWidget(m_browseSubtitle);
    browseRow->addLayout(browseTexts);
    m_toggle = smallButton(QString(), m_browse);
    connect(m_toggle, &QPushButton::clicked, this, &ResultsHeaderWidget::toggleShowAllRequested);
    browseRow->addWidget(m_toggle);
    row->addWidget(m_browse);

    row->addStretch(1);

    m_importing = new QWidget(this);
    auto* importingRow = new QHBoxLayout(m_importing);
    importingRow->setContentsMargins(0, 0, 0, 0);
    importingRow->setSpacing(6);
    auto* spinner = new BusyBar(m_importing);
    spinner->setFixedSize(spinner->sizeHint());
    importingRow->addWidget(spinner);
    m_importingText = textLabel(QString(), Theme::font(TextStyle::Caption), secondaryColor, m_importing);
    importingRow->addWidget(m_importingText);
    row->addWidget(m_importing);

    m_total = textLabel(QString(), Theme::font(TextStyle::Caption), tertiaryColor, this);
    row->addWidget(m_total);

    m_content.filteredCount = -1; // forces the first setContent to fill every label
    setContent(ResultsHeaderContent{});
}

void ResultsHeaderWidget::setContent(const ResultsHeaderContent& content)
{
    if (content == m_content)
        return;
    m_content = content;
    m_surfaced->setVisible(content.searching);
    m_browse->setVisible(!content.searching);
    m_surfacedCount->setText(QString::number(content.filteredCount));
    m_browseTitle->setText(content.browse.title);
    m_browseSubtitle->setText(content.browse.subtitle.value_or(QString()));
    m_browseSubtitle->setVisible(content.browse.subtitle.has_value());
    m_toggle->setText(content.browse.toggleButton.value_or(QString()));
    m_toggle->setVisible(content.browse.toggleButton.has_value());
    m_importing->setVisible(content.importCount >= 1);
    m_importingText->setText(importingCountText(content.importCount));
    m_total->setText(totalCountText(content.totalCount));
}

SelectionBarWidget::SelectionBarWidget(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 9, 12, 9);
    row->setSpacing(10);
    m_count = textLabel(QString(), Theme::font(Theme::pointSize(TextStyle::Caption), QFont::DemiBold),
                        labelColor, this);
    row->addWidget(m_count);
    auto* clear = smallButton(QStringLiteral("Clear Selection"), this);
    connect(clear, &QPushButton::clicked, this, &SelectionBarWidget::clearRequested);
    row->addWidget(clear);
    auto* remove = smallButton(QStringLiteral("Delete Selected\u2026"), this);
    remove->setObjectName(QStringLiteral("deleteSelected"));
    remove->setProperty("veskRole", "destructive");
    connect(remove, &QPushButton::clicked, this, &SelectionBarWidget::deleteRequested);
    row->addWidget(remove);
    m_delete = remove;
}

void SelectionBarWidget::setDeleteAvailable(bool available)
{
    m_delete->setVisible(available);
}

void SelectionBarWidget::setCount(qsizetype count)
{
    m_count->setText(selectionCountText(count));
}

void SelectionBarWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Painting::roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12);
    painter.fillPath(shape, Theme::current().material(MaterialThickness::Thin));
    Painting::stroke(painter, shape, Theme::current().primary(0.07), 1);
}

RecentLimitBannerWidget::RecentLimitBannerWidget(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(symbolLabel(QStringLiteral("clock.arrow.circlepath"), tertiaryColor, 13, this));
    m_text = textLabel(QString(), Theme::font(TextStyle::Caption), secondaryColor, this);
    row->addWidget(m_text);
    m_button = smallButton(QString(), this);
    connect(m_button, &QPushButton::clicked, this, &RecentLimitBannerWidget::showAllRequested);
    row->addWidget(m_button);
    row->addStretch(1);
}

void RecentLimitBannerWidget::setCounts(int limit, qsizetype filteredCount)
{
    m_text->setText(recentLimitBannerText(limit));
    m_button->setText(showAllCountText(filteredCount));
}

EmptyResultsStateWidget::EmptyResultsStateWidget(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 80, 0, 80);
    column->setSpacing(10);
    column->setAlignment(Qt::AlignHCenter);
    auto* symbol = symbolLabel(QStringLiteral("circle.dotted"), secondaryColor, 30, this);
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    column->addWidget(textLabel(QStringLiteral("Nothing surfaced yet."), Theme::font(TextStyle::Headline), labelColor, this),
                      0, Qt::AlignHCenter);
    column->addWidget(textLabel(QStringLiteral("Try another scrap of the memory."), Theme::font(TextStyle::Subheadline),
                                secondaryColor, this),
                      0, Qt::AlignHCenter);
}

PreparingSearchStateWidget::PreparingSearchStateWidget(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 80, 0, 80);
    column->setSpacing(10);
    column->setAlignment(Qt::AlignHCenter);
    column->addWidget(symbolLabel(QStringLiteral("hourglass"), secondaryColor, 30, this), 0, Qt::AlignHCenter);
    column->addWidget(textLabel(QStringLiteral("Preparing search\u2026"), Theme::font(TextStyle::Headline), labelColor, this),
                      0, Qt::AlignHCenter);
}

// The badge is drawn into a picture of its own once per appearance and pixel ratio, and each paint
// copies it: the preview shows it again whenever its item goes (a delete, a cleared selection), and
// laying out the rounded path and the glyph afresh took a quarter of a millisecond of every such
// frame, up to a millisecond once the glyph had left the font's cache.
class SparkleBadge : public QWidget {
public:
    explicit SparkleBadge(QWidget* parent) : QWidget(parent) { setFixedSize(62, 62); }
    int drawCount() const { return m_draws; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Theme& theme = Theme::current();
        const qreal ratio = devicePixelRatioF();
        const Look look{theme.isDark(), theme.material(MaterialThickness::UltraThin).rgba(), theme.secondary().rgba()};
        if (m_picture.isNull() || m_picture.devicePixelRatio() != ratio || !(m_look == look)) {
            m_picture = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
            m_picture.setDevicePixelRatio(ratio);
            m_picture.fill(Qt::transparent);
            QPainter picture(&m_picture);
            picture.setRenderHint(QPainter::Antialiasing);
            const QPainterPath shape = Painting::roundedRect(QRectF(rect()), 18);
            Painting::fillMaterial(picture, shape, MaterialThickness::UltraThin);
            IconMap::paint(picture, QRectF(rect()), QStringLiteral("sparkles"), theme.secondary(), 25);
            m_look = look;
            ++m_draws;
        }
        QPainter painter(this);
        painter.drawImage(QPointF(0, 0), m_picture);
    }

private:
    // What the picture was drawn with.
    struct Look {
        bool dark = false;
        QRgb material = 0;
        QRgb symbol = 0;
        bool operator==(const Look&) const = default;
    };
    QImage m_picture;
    Look m_look;
    int m_draws = 0;
};

NoSelectionPlaceholder::NoSelectionPlaceholder(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(12);
    column->addStretch(1);
    m_badge = new SparkleBadge(this);
    column->addWidget(m_badge, 0, Qt::AlignHCenter);
    column->addWidget(textLabel(QStringLiteral("Select a Vesk"), Theme::font(TextStyle::Headline), labelColor, this), 0,
                      Qt::AlignHCenter);
    column->addWidget(textLabel(QStringLiteral("The memory comes forward here."), Theme::font(TextStyle::Caption),
                                secondaryColor, this),
                      0, Qt::AlignHCenter);
    column->addStretch(1);
}

QWidget* NoSelectionPlaceholder::badge() const
{
    return m_badge;
}

int NoSelectionPlaceholder::badgeDrawCount() const
{
    return m_badge->drawCount();
}

} // namespace vesk
