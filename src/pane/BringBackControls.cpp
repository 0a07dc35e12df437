#include "pane/BringBackControls.h"
#include "pane/PaneIcons.h"

#include "grid/VeskMenu.h"
#include "pane/PaneStyleSheet.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "present/BringBackPresets.h"
#include "present/DisplayTitles.h"
#include "store/VeskStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyle>

namespace vesk {

namespace {

const QString kScheduledSymbol = QStringLiteral("clock.badge.checkmark");
const QString kUnscheduledSymbol = QStringLiteral("arrow.uturn.backward.circle");

} // namespace

BringBackMenuButton::BringBackMenuButton(VeskStore& store, const VeskItem& item, std::function<void()> chooseDate,
    QWidget* parent)
    : QToolButton(parent)
    , m_store(store)
    , m_item(item)
    , m_chooseDate(std::move(chooseDate))
    , m_menu(new VeskMenu(this))
{
    setObjectName(QStringLiteral("bringBackMenu"));
    setText(QStringLiteral("Bring Back"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setPopupMode(QToolButton::InstantPopup);
    setMenu(m_menu);
    setFont(Theme::font(TextStyle::Caption));
    connect(m_menu, &QMenu::aboutToShow, this, &BringBackMenuButton::fillEntries);
    connect(&m_store, &VeskStore::bringBackDatesChanged, this, &BringBackMenuButton::refresh);
    connect(&Theme::current(), &Theme::appearanceChanged, this, &BringBackMenuButton::refresh);
    refresh();
}

void BringBackMenuButton::setItem(const VeskItem& item)
{
    if (item.id != m_item.id)
        m_menu->hide();
    m_item = item;
    refresh();
}

QString BringBackMenuButton::symbol() const
{
    return isScheduled() ? kScheduledSymbol : kUnscheduledSymbol;
}

void BringBackMenuButton::refresh()
{
    m_scheduled = m_store.scheduledBringBackDate(m_item.id);
    const Theme& theme = Theme::current();
    const QColor foreground = isScheduled() ? theme.accent() : theme.label();
    setIcon(paneSymbolIcon(symbol(), foreground, 14));
    setToolTip(isScheduled() ? QStringLiteral("Bring back ") + abbreviatedDateTimeText(*m_scheduled)
                             : QStringLiteral("Bring this Vesk back later"));
    // Its look comes from the pane's style rules, which pick the accent by this property.
    if (property(kBringBackScheduledProperty).toBool() != isScheduled()) {
        setProperty(kBringBackScheduledProperty, isScheduled());
        if (testAttribute(Qt::WA_WState_Polished)) {
            style()->unpolish(this);
            style()->polish(this);
            update();
        }
    }

    m_entriesStale = true;
    if (m_menu->isVisible())
        fillEntries();
}

QMenu* BringBackMenuButton::entries()
{
    fillEntries();
    return m_menu;
}

void BringBackMenuButton::fillEntries()
{
    if (!m_entriesStale)
        return;
    m_entriesStale = false;
    m_menu->clear();
    using Entry = MenuEntry<BringBackMenuAction>;
    QList<Entry> entries;
    if (isScheduled()) {
        Entry line = Entry::command(QStringLiteral("Scheduled ") + abbreviatedDateTimeText(*m_scheduled),
                                    BringBackMenuAction::None);
        line.enabled = false;
        entries << line << Entry::marker(Entry::Type::Divider);
    }
    entries << Entry::command(QStringLiteral("Tomorrow at 9 AM"), BringBackMenuAction::TomorrowAtNine)
            << Entry::command(QStringLiteral("In 1 Week"), BringBackMenuAction::InOneWeek)
            << Entry::command(QStringLiteral("In 2 Weeks"), BringBackMenuAction::InTwoWeeks)
            << Entry::command(QStringLiteral("In 1 Month"), BringBackMenuAction::InOneMonth)
            << Entry::marker(Entry::Type::Divider)
            << Entry::command(QStringLiteral("Choose Date & Time\u2026"), BringBackMenuAction::ChooseDate);
    if (isScheduled()) {
        Entry cancel = Entry::command(QStringLiteral("Cancel Bring Back"), BringBackMenuAction::Cancel);
        cancel.destructive = true;
        entries << Entry::marker(Entry::Type::Divider) << cancel;
    }
    fillMenu<BringBackMenuAction>(m_menu, entries, this, [this](const Entry& entry) { apply(entry.action); });
}

void BringBackMenuButton::apply(BringBackMenuAction action)
{
    const auto schedule = [this](BringBackPreset preset) {
        if (const auto date = bringBackPresetDate(preset, m_store.services().clock->now()))
            m_store.setBringBack(m_item, *date);
    };
    switch (action) {
    case BringBackMenuAction::None: break;
    case BringBackMenuAction::TomorrowAtNine: schedule(BringBackPreset::TomorrowAtNine); break;
    case BringBackMenuAction::InOneWeek: schedule(BringBackPreset::InOneWeek); break;
    case BringBackMenuAction::InTwoWeeks: schedule(BringBackPreset::InTwoWeeks); break;
    case BringBackMenuAction::InOneMonth: schedule(BringBackPreset::InOneMonth); break;
    case BringBackMenuAction::ChooseDate:
        if (m_chooseDate)
            m_chooseDate();
        break;
    case BringBackMenuAction::Cancel: m_store.cancelBringBack(m_item); break;
    }
}

BringBackStatusPill::BringBackStatusPill(VeskStore& store, const VeskItem& item, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_itemID(item.id)
{
    setObjectName(QStringLiteral("bringBackPill"));
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(9, 5, 9, 5);
    row->setSpacing(6);
    connect(&m_store, &VeskStore::bringBackDatesChanged, this, &BringBackStatusPill::refresh);
    connect(&Theme::current(), &Theme::appearanceChanged, this, &BringBackStatusPill::refresh);
    refresh();
}

void BringBackStatusPill::setItem(const VeskItem& item)
{
    if (item.id == m_itemID)
        return;
    m_itemID = item.id;
    refresh();
}

QString BringBackStatusPill::dateText() const
{
    return m_date ? m_date->text() : QString();
}

void BringBackStatusPill::makeLabels()
{
    QFont font = Theme::font(TextStyle::Caption);
    font.setWeight(QFont::DemiBold);
    m_symbol = new QLabel(this);
    m_title = new QLabel(QStringLiteral("Bring Back"), this);
    m_title->setFont(font);
    m_date = new QLabel(this);
    m_date->setFont(font);
    m_date->setObjectName(QStringLiteral("bringBackPillDate"));
    layout()->addWidget(m_symbol);
    layout()->addWidget(m_title);
    layout()->addWidget(m_date);
}

void BringBackStatusPill::refresh()
{
    const std::optional<QDateTime> date = m_store.scheduledBringBackDate(m_itemID);
    // Made before the pill shows, so that they show with it.
    if (date && !m_date)
        makeLabels();
    setVisible(date.has_value());
    if (!date)
        return;
    const Theme& theme = Theme::current();
    const int symbolSize = QFontMetrics(m_title->font()).height();
    m_symbol->setPixmap(paneSymbolPixmap(kScheduledSymbol, theme.accent(), symbolSize, devicePixelRatioF()));
    QPalette accent = m_title->palette();
    accent.setColor(QPalette::WindowText, theme.accent());
    m_title->setPalette(accent);
    m_date->setText(abbreviatedDateTimeText(*date));
    QPalette secondary = m_date->palette();
    secondary.setColor(QPalette::WindowText, theme.secondary());
    m_date->setPalette(secondary);
    update();
}

void BringBackStatusPill::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Theme& theme = Theme::current();
    const QColor fill = theme.accent(0.07);
    const QColor outline = theme.accent(0.1);
    const QString key = QStringLiteral("bringBackPill:%1:%2").arg(fill.rgba(), 0, 16).arg(outline.rgba(), 0, 16);
    Painting::drawCornered(painter, rect(), height() / 2 + 2, fill, key, [&](QPainter& p, const QRectF& box) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = Painting::capsule(box.adjusted(0.4, 0.4, -0.4, -0.4));
        p.fillPath(shape, fill);
        Painting::stroke(p, shape, outline, 0.8);
    });
}

} // namespace vesk
