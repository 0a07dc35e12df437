#include "people/PeopleParts.h"

#include "platform/ui/Painting.h"
#include "platform/ui/ControlText.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace vesk {

RoundedPanel::RoundedPanel(qreal radius, qreal fillOpacity, qreal outlineOpacity, QWidget* parent)
    : QWidget(parent), m_radius(radius), m_fillOpacity(fillOpacity), m_outlineOpacity(outlineOpacity)
{
}

void RoundedPanel::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Painting::roundedRect(QRectF(rect()).adjusted(0.4, 0.4, -0.4, -0.4), m_radius);
    p.fillPath(shape, theme.primary(m_fillOpacity));
    if (m_outlineOpacity > 0)
        Painting::stroke(p, shape, theme.primary(m_outlineOpacity), 0.8);
}

namespace {
constexpr int kCountPadding = 10;
constexpr int kCountSpacing = 3;

QFont countFont()
{
    return Theme::monospacedDigitFont(Theme::pointSize(TextStyle::Title3), QFont::Bold);
}
} // namespace

CountTile::CountTile(qlonglong value, const QString& label, QWidget* parent)
    : RoundedPanel(10, 0.035, 0, parent), m_value(value), m_label(label)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(label + QLatin1Char(' ') + QString::number(value));
}

QSize CountTile::sizeHint() const
{
    const QFontMetrics figure(countFont());
    const QFontMetrics caption(Theme::font(TextStyle::Caption2));
    return QSize(figure.horizontalAdvance(QString::number(m_value)) + 2 * kCountPadding,
                 figure.height() + kCountSpacing + caption.height() + 2 * kCountPadding);
}

void CountTile::paintEvent(QPaintEvent* event)
{
    RoundedPanel::paintEvent(event);
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFont figureFont = countFont();
    const QFont captionFont = Theme::font(TextStyle::Caption2);
    const int figureHeight = QFontMetrics(figureFont).height();
    const QRect inner = rect().adjusted(kCountPadding, kCountPadding, -kCountPadding, -kCountPadding);
    p.setFont(figureFont);
    p.setPen(theme.label());
    p.drawText(QRect(inner.left(), inner.top(), inner.width(), figureHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QString::asprintf("%lld", m_value));
    p.setFont(captionFont);
    p.setPen(theme.secondary());
    p.drawText(QRect(inner.left(), inner.top() + figureHeight + kCountSpacing, inner.width(),
                     QFontMetrics(captionFont).height()),
               Qt::AlignLeft | Qt::AlignVCenter, m_label);
}

QLabel* styledLabel(const QString& text, TextStyle style, QFont::Weight weight, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    QFont font = Theme::font(style);
    font.setWeight(weight);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QPushButton* smallButton(const QString& text, const char* role, const QString& help, QWidget* parent)
{
    auto* button = new QPushButton(controlText(text), parent);
    button->setProperty("veskRole", role);
    button->setFont(Theme::font(TextStyle::Subheadline));
    // The small control size: tighter than the application's regular buttons.
    button->setStyleSheet(QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; }"));
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    if (!help.isEmpty())
        button->setToolTip(help);
    return button;
}

QWidget* divider(QWidget* parent)
{
    auto* line = new RoundedPanel(0, 0.1, 0, parent);
    line->setFixedHeight(1);
    return line;
}

AdaptiveGrid::AdaptiveGrid(int minimum, int maximum, int spacing, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum), m_spacing(spacing)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void AdaptiveGrid::addItem(QWidget* item)
{
    item->setParent(this);
    m_items.append(item);
    updateGeometry();
    place();
}

int AdaptiveGrid::narrowestColumn() const
{
    // An item wider than the minimum would overlap its neighbour: its width is the minimum then.
    int widest = m_minimum;
    for (QWidget* item : m_items)
        widest = std::max(widest, item->sizeHint().width());
    return widest;
}

int AdaptiveGrid::columnsFor(int width) const
{
    return std::max(1, (width + m_spacing) / (narrowestColumn() + m_spacing));
}

int AdaptiveGrid::heightForWidth(int width) const
{
    if (m_items.isEmpty())
        return 0;
    const int columns = columnsFor(width);
    const int rows = int((m_items.size() + columns - 1) / columns);
    int rowHeight = 0;
    for (QWidget* item : m_items)
        rowHeight = std::max(rowHeight, item->sizeHint().height());
    return rows * rowHeight + (rows - 1) * m_spacing;
}

QSize AdaptiveGrid::sizeHint() const
{
    const int width = 4 * m_maximum + 3 * m_spacing;
    return QSize(width, heightForWidth(width));
}

QSize AdaptiveGrid::minimumSizeHint() const
{
    // The height follows the width (heightForWidth); a minimum height for one column would hold
    // the scroll area open far below the grid.
    return QSize(m_minimum, 0);
}

void AdaptiveGrid::resizeEvent(QResizeEvent*)
{
    place();
}

void AdaptiveGrid::place()
{
    if (m_items.isEmpty())
        return;
    const int columns = columnsFor(width());
    // Columns share the width up to their maximum; the grid stands centred.
    const int narrowest = narrowestColumn();
    const int column =
        std::clamp((width() - (columns - 1) * m_spacing) / columns, narrowest, std::max(narrowest, m_maximum));
    const int used = columns * column + (columns - 1) * m_spacing;
    const int left = std::max(0, (width() - used) / 2);
    int rowHeight = 0;
    for (QWidget* item : m_items)
        rowHeight = std::max(rowHeight, item->sizeHint().height());
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const int row = int(i / columns);
        const int col = int(i % columns);
        const QSize size = m_items[i]->sizeHint().boundedTo(QSize(column, rowHeight));
        const int x = left + col * (column + m_spacing) + (column - size.width()) / 2;
        const int y = row * (rowHeight + m_spacing) + (rowHeight - size.height()) / 2;
        m_items[i]->setGeometry(x, y, size.width(), size.height());
    }
}

} // namespace vesk
