#include "pane/VeskBringBackPicker.h"

#include "pane/SectionParts.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "present/BringBackPresets.h"

#include <QDateTimeEdit>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

// Date and hours and minutes in the locale's short forms, without seconds.
QString pickerDisplayFormat()
{
    const QLocale locale;
    QString time = locale.timeFormat(QLocale::ShortFormat);
    time.remove(QStringLiteral(":ss"));
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time;
}

} // namespace

VeskBringBackPicker::VeskBringBackPicker(const VeskItem& item, const std::optional<QDateTime>& currentDate,
    std::function<void(const QDateTime&)> onSave, std::function<void()> onCancelSchedule,
    std::shared_ptr<Clock> clock, QWidget* parent)
    : QDialog(parent)
    , m_item(item)
    , m_currentDate(currentDate)
    , m_onSave(std::move(onSave))
    , m_onCancelSchedule(std::move(onCancelSchedule))
    , m_clock(clock ? std::move(clock) : std::make_shared<SystemClock>())
{
    setObjectName(QStringLiteral("bringBackPicker"));
    setWindowTitle(QStringLiteral("Bring Back"));
    setWindowModality(Qt::WindowModal);
    if (parent)
        setWindowFlags(windowFlags() | Qt::Sheet);
    setFixedWidth(430);

    const Theme& theme = Theme::current();
    const QDateTime now = m_clock->now();
    m_selectedDate = bringBackPickerStartDate(now, m_currentDate).toUTC();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(18);

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(IconMap::pixmap(QStringLiteral("arrow.uturn.backward.circle.fill"), theme.accent(), 28,
        devicePixelRatioF()));
    header->addWidget(symbol, 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    QFont headingFont = Theme::font(TextStyle::Title3);
    headingFont.setWeight(QFont::Bold);
    titles->addWidget(makeLabel(QStringLiteral("Bring Back"), headingFont, theme.label(), this));
    const QFont captionFont = Theme::font(TextStyle::Caption);
    QLabel* itemTitle = makeLabel(QFontMetrics(captionFont).elidedText(m_item.title, Qt::ElideRight, 340),
        captionFont, theme.secondary(), this);
    itemTitle->setObjectName(QStringLiteral("bringBackPickerItemTitle"));
    titles->addWidget(itemTitle);
    header->addLayout(titles, 1);
    column->addLayout(header);

    QLabel* explanation = makeLabel(QStringLiteral("Vesk will quietly bring this memory back when the time comes."),
        Theme::font(TextStyle::Callout), theme.secondary(), this);
    explanation->setWordWrap(true);
    column->addWidget(explanation);

    auto* dateRow = new QHBoxLayout;
    dateRow->setSpacing(10);
    dateRow->addWidget(makeLabel(QStringLiteral("Bring back on"), Theme::font(TextStyle::Body), theme.label(), this));
    m_dateField = new QDateTimeEdit(this);
    m_dateField->setObjectName(QStringLiteral("bringBackPickerDate"));
    m_dateField->setCalendarPopup(true);
    m_dateField->setDisplayFormat(pickerDisplayFormat());
    // A reminder already set in the past is shown as it is; the first change then keeps to the
    // minute-ahead bound like every other choice.
    const QDateTime earliest = now.addSecs(minimumLeadSeconds);
    m_dateField->setMinimumDateTime(std::min(earliest, m_selectedDate).toLocalTime());
    m_dateField->setDateTime(m_selectedDate.toLocalTime());
    connect(m_dateField, &QDateTimeEdit::dateTimeChanged, this, [this](const QDateTime& shown) {
        const QDateTime lowest = m_clock->now().addSecs(minimumLeadSeconds).toLocalTime();
        if (m_dateField->minimumDateTime() < lowest) {
            m_dateField->setMinimumDateTime(lowest); // may move the shown date up, and report it again
            if (m_dateField->dateTime() != shown)
                return;
        }
        m_selectedDate = shown.toUTC();
        updateBringBackButton();
    });
    dateRow->addWidget(m_dateField, 1);
    column->addLayout(dateRow);

    auto* buttons = new QHBoxLayout;
    if (m_currentDate) {
        m_cancelScheduleButton = new QPushButton(QStringLiteral("Cancel Bring Back"), this);
        m_cancelScheduleButton->setObjectName(QStringLiteral("bringBackPickerCancelSchedule"));
        m_cancelScheduleButton->setAutoDefault(false);
        m_cancelScheduleButton->setStyleSheet(QStringLiteral("QPushButton { color: %1; }").arg(QColor(255, 59, 48).name()));
        connect(m_cancelScheduleButton, &QPushButton::clicked, this, [this] {
            if (m_onCancelSchedule)
                m_onCancelSchedule();
            reject();
        });
        buttons->addWidget(m_cancelScheduleButton);
    }
    buttons->addStretch(1);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("bringBackPickerCancel"));
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(m_cancelButton);
    m_bringBackButton = new QPushButton(QStringLiteral("Bring Back"), this);
    m_bringBackButton->setObjectName(QStringLiteral("bringBackPickerSave"));
    m_bringBackButton->setDefault(true);
    m_bringBackButton->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border-radius: 6px; padding: 4px 14px; }"
                       "QPushButton:disabled { background: %2; }")
            .arg(theme.accent().name(QColor::HexArgb), theme.accent(0.35).name(QColor::HexArgb)));
    connect(m_bringBackButton, &QPushButton::clicked, this, [this] { choose(m_selectedDate); });
    buttons->addWidget(m_bringBackButton);
    column->addLayout(buttons);

    updateBringBackButton();
}

void VeskBringBackPicker::setSelectedDate(const QDateTime& date)
{
    m_dateField->setDateTime(date.toLocalTime());
}

void VeskBringBackPicker::updateBringBackButton()
{
    m_bringBackButton->setEnabled(m_selectedDate > m_clock->now());
}

void VeskBringBackPicker::choose(const QDateTime& date)
{
    // Time has moved on since the button was enabled: a date that has passed meanwhile is not kept.
    if (date <= m_clock->now()) {
        updateBringBackButton();
        return;
    }
    if (m_onSave)
        m_onSave(date);
    accept();
}

} // namespace vesk
