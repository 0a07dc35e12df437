#include "pane/PreviewHeader.h"

#include "pane/BringBackControls.h"
#include "pane/ElidedLabel.h"
#include "pane/PreviewKindDecision.h"
#include "platform/Graphemes.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>

#include <cmath>

namespace vesk {

// The kind symbol centred on a 30-point tile with a faint fill.
class PreviewHeader::KindIcon : public QWidget {
public:
    explicit KindIcon(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(30, 30);
        setObjectName(QStringLiteral("previewKindIcon"));
    }
    void setSymbol(const QString& symbol)
    {
        if (symbol == m_symbol)
            return;
        m_symbol = symbol;
        // Read by tests; never shown, a symbol name means nothing to a user.
        setProperty("symbol", m_symbol);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const Theme& theme = Theme::current();
        const QColor fill = theme.primary(0.035);
        const QColor symbol = theme.secondary();
        QString key = QStringLiteral("previewKindIcon:%1:%2:").arg(fill.rgba(), 0, 16).arg(symbol.rgba(), 0, 16);
        key += m_symbol;
        Painting::drawCached(painter, QRectF(rect()), key, [&](QPainter& p, const QRectF& box) {
            p.setRenderHint(QPainter::Antialiasing);
            p.fillPath(Painting::roundedRect(box, 9), fill);
            IconMap::paint(p, box, m_symbol, symbol, 18);
        });
    }

private:
    QString m_symbol;
};

// The format word on a capsule of thin material. A file's own extension names the format: a
// long one is cut short rather than push the actions out of the pane. A word as short as
// "Activity" stays whole: the header's other pieces give way first.
class PreviewHeader::FormatBadge : public ElidedLabel {
public:
    QSize minimumSizeHint() const override
    {
        constexpr qsizetype kAlwaysWhole = 8;
        const QString word = fullText();
        const QString least = graphemeCount(word) <= kAlwaysWhole
            ? word
            : leftGraphemes(word, kAlwaysWhole - 1) + QChar(0x2026);
        const QMargins margins = contentsMargins();
        const int text = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(least)));
        return {text + margins.left() + margins.right() + 2 * margin(), ElidedLabel::minimumSizeHint().height()};
    }

    explicit FormatBadge(QWidget* parent)
        : ElidedLabel(QString(), Qt::ElideRight, parent)
    {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        setObjectName(QStringLiteral("previewFormatBadge"));
        QFont font = Theme::font(TextStyle::Caption);
        font.setWeight(QFont::DemiBold);
        setFont(font);
        setContentsMargins(9, 4, 9, 4);
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, Theme::current().secondary());
        setPalette(palette);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter painter(this);
            const Theme& theme = Theme::current();
            const QString key = QStringLiteral("previewFormatBadge:%1:%2")
                                    .arg(theme.material(MaterialThickness::Thin).rgba(), 0, 16).arg(int(theme.isDark()));
            Painting::drawCached(painter, QRectF(rect()), key, [&theme](QPainter& p, const QRectF& box) {
                p.setRenderHint(QPainter::Antialiasing);
                Painting::fillMaterial(p, Painting::capsule(box), MaterialThickness::Thin, theme);
            });
        }
        ElidedLabel::paintEvent(event);
    }
};

PreviewHeader::PreviewHeader(VeskStore& store, const VeskItem& item, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("previewHeader"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    m_icon = new KindIcon(this);
    row->addWidget(m_icon);
    row->addStretch(1);
    m_bringBack = new BringBackMenuButton(store, item, [this] { emit bringBackPickerRequested(); }, this);
    row->addWidget(m_bringBack);
}

namespace {

// Edit and Edit Image at the small control size, as the Bring Back menu beside them.
QPushButton* smallProminentButton(const QString& text, const QString& symbol, const QString& name, QWidget* parent)
{
    QPushButton* button = borderedButton(text, symbol, parent, true);
    button->setObjectName(name);
    button->setFont(Theme::font(TextStyle::Caption));
    button->setIconSize(QSize(14, 14));
    return button;
}

} // namespace

void PreviewHeader::setItem(const VeskItem& item, bool offersEditImage)
{
    m_icon->setSymbol(previewKindSymbol(item));
    m_bringBack->setItem(item);
    auto* row = static_cast<QHBoxLayout*>(layout());
    const bool edit = showsEditButton(item);
    if (edit && !m_edit) {
        m_edit = smallProminentButton(QStringLiteral("Edit"), QStringLiteral("pencil"),
            QStringLiteral("previewEditButton"), this);
        m_edit->setToolTip(QStringLiteral("Edit this Vesk"));
        m_editIcon = m_edit->icon();
        connect(m_edit, &QPushButton::clicked, this, &PreviewHeader::editRequested);
        row->insertWidget(row->indexOf(m_bringBack) + 1, m_edit);
    }
    if (m_edit)
        m_edit->setVisible(edit);
    const bool editImage = offersEditImage && showsEditImageButton(item);
    if (editImage && !m_editImage) {
        m_editImage = smallProminentButton(QStringLiteral("Edit Image"), QStringLiteral("slider.horizontal.3"),
            QStringLiteral("previewEditImageButton"), this);
        m_editImage->setToolTip(QStringLiteral("Create a non-destructive edited version"));
        m_editImageIcon = m_editImage->icon();
        connect(m_editImage, &QPushButton::clicked, this, &PreviewHeader::editImageRequested);
        row->insertWidget(row->indexOf(m_edit ? static_cast<QWidget*>(m_edit) : m_bringBack) + 1, m_editImage);
    }
    if (m_editImage)
        m_editImage->setVisible(editImage);
    const bool badge = showsFormatBadge(item);
    if (badge && !m_badge) {
        m_badge = new FormatBadge(this);
        row->addWidget(m_badge);
    }
    if (m_badge) {
        if (badge)
            m_badge->setFullText(previewFormatLabel(item));
        m_badge->setVisible(badge);
    }
    // Items of one kind show the same row: it is measured again only when its parts change.
    const QString parts = QStringLiteral("%1%2:").arg(int(edit)).arg(int(editImage)) + (badge ? m_badge->fullText() : QString());
    if (parts != m_measuredParts) {
        m_measuredParts = parts;
        measure();
    }
}

QSize PreviewHeader::minimumSizeHint() const
{
    return QSize(m_withoutSymbols, QWidget::minimumSizeHint().height());
}

void PreviewHeader::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitSymbols();
}

void PreviewHeader::measure()
{
    const bool shown = m_symbolsShown;
    setSymbolsShown(false);
    m_withoutSymbols = layout()->minimumSize().width();
    setSymbolsShown(true);
    m_withSymbols = layout()->minimumSize().width();
    setSymbolsShown(shown);
    updateGeometry();
    fitSymbols();
}

void PreviewHeader::fitSymbols()
{
    setSymbolsShown(width() >= m_withSymbols);
}

void PreviewHeader::setSymbolsShown(bool shown)
{
    if (shown == m_symbolsShown)
        return;
    m_symbolsShown = shown;
    m_bringBack->setToolButtonStyle(shown ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonTextOnly);
    if (m_edit)
        m_edit->setIcon(shown ? m_editIcon : QIcon());
    if (m_editImage)
        m_editImage->setIcon(shown ? m_editImageIcon : QIcon());
    updateGeometry();
}

} // namespace vesk
