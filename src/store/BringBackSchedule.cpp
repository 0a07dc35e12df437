#include "store/BringBackSchedule.h"

#include "platform/Clock.h"
#include "platform/Settings.h"
#include "platform/Timers.h"
#include "present/DisplayTitles.h"
#include "search/BringBackDates.h"
#include "search/Ranking.h"
#include "store/PublishedValue.h"

#include <algorithm>

namespace vesk {

namespace {

VeskBringBackNotice makeNotice(VeskBringBackNoticeKind kind, const QUuid& itemID, const QString& title,
                               const std::optional<QString>& detail)
{
    return VeskBringBackNotice{QUuid::createUuid(), kind, itemID, title, detail};
}

} // namespace

BringBackSchedule::BringBackSchedule(std::shared_ptr<Clock> clock, std::shared_ptr<Timers> timers,
                                     std::shared_ptr<Settings> settings, Library library, QObject* parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_timers(std::move(timers))
    , m_settings(std::move(settings))
    , m_library(std::move(library))
{
}

BringBackSchedule::~BringBackSchedule()
{
    if (m_task)
        m_task->cancel();
}

void BringBackSchedule::setDates(const QHash<QUuid, QDateTime>& value)
{
    if (assignChanged(m_dates, value))
        emit datesChanged();
}

void BringBackSchedule::setBroughtBackIDs(const QSet<QUuid>& value)
{
    if (assignChanged(m_broughtBackIDs, value))
        emit broughtBackIDsChanged();
}

void BringBackSchedule::setNotice(const std::optional<VeskBringBackNotice>& value)
{
    if (assignChanged(m_notice, value))
        emit noticeChanged();
}

void BringBackSchedule::load()
{
    setDates(decodeBringBackDates(m_settings->data(bringBackDatesKey)));
}

void BringBackSchedule::save()
{
    m_settings->setData(bringBackDatesKey, encodeBringBackDates(m_dates));
}

std::optional<QDateTime> BringBackSchedule::scheduledDate(const QUuid& id) const
{
    const auto found = m_dates.constFind(id);
    if (found == m_dates.cend())
        return std::nullopt;
    return *found;
}

void BringBackSchedule::set(const VeskItem& item, const QDateTime& date)
{
    if (!date.isValid() || date <= m_clock->now())
        return;
    replaceDate(item.id, date);
    setNotice(makeNotice(VeskBringBackNoticeKind::Scheduled, item.id, QStringLiteral("Bring Back set"),
                         abbreviatedDateTimeText(date)));
}

void BringBackSchedule::cancel(const VeskItem& item)
{
    replaceDate(item.id, std::nullopt);
    setNotice(makeNotice(VeskBringBackNoticeKind::Cancelled, item.id, QStringLiteral("Bring Back cancelled"), item.title));
}

void BringBackSchedule::replaceDate(const QUuid& id, const std::optional<QDateTime>& date)
{
    QHash<QUuid, QDateTime> dates = m_dates;
    if (date)
        dates.insert(id, *date);
    else
        dates.remove(id);
    setDates(dates);
    QSet<QUuid> marks = m_broughtBackIDs;
    marks.remove(id);
    setBroughtBackIDs(marks);
    save();
    schedule();
}

QHash<QUuid, QDateTime> BringBackSchedule::pendingDates() const
{
    if (m_library.isWhole())
        return m_dates;
    QHash<QUuid, QDateTime> known;
    for (auto it = m_dates.cbegin(); it != m_dates.cend(); ++it) {
        if (m_library.indexOf(it.key()) >= 0)
            known.insert(it.key(), it.value());
    }
    return known;
}

void BringBackSchedule::deliverDue()
{
    const QDateTime now = m_clock->now();
    const bool whole = m_library.isWhole();

    // Reminders of deleted items go, but only when the library is whole: after a failed read (or
    // without a database) every stored reminder is kept for a later start, and the ones of
    // unknown items are merely left out here.
    // Only a pruning is written back: the stored reminders are what was read, and each write
    // syncs the defaults file on the main thread while the window starts.
    bool pruned = false;
    if (whole) {
        QHash<QUuid, QDateTime> known;
        for (auto it = m_dates.cbegin(); it != m_dates.cend(); ++it) {
            if (m_library.indexOf(it.key()) >= 0)
                known.insert(it.key(), it.value());
        }
        pruned = known.size() != m_dates.size();
        if (pruned)
            setDates(known);
    }

    QList<std::pair<QUuid, QDateTime>> due;
    const QHash<QUuid, QDateTime> pending = pendingDates();
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (it.value() <= now)
            due.append({it.key(), it.value()});
    }
    sortDueDates(due);

    if (due.isEmpty()) {
        if (pruned)
            save();
        schedule();
        return;
    }

    QHash<QUuid, QDateTime> dates = m_dates;
    QSet<QUuid> marks = m_broughtBackIDs;
    for (const auto& [id, date] : std::as_const(due)) {
        dates.remove(id);
        marks.insert(id);
    }
    setDates(dates);
    setBroughtBackIDs(marks);
    save();
    if (m_library.marksDelivered)
        m_library.marksDelivered();

    if (const qsizetype first = m_library.indexOf(due.first().first); first >= 0) {
        const VeskItem earliest = m_library.items().at(first);
        setNotice(makeNotice(VeskBringBackNoticeKind::Returned, earliest.id, QStringLiteral("Brought Back"),
                             earliest.title));
    }
    schedule();
}

bool BringBackSchedule::clearMark(const QUuid& id)
{
    if (!m_broughtBackIDs.contains(id))
        return false;
    QSet<QUuid> marks = m_broughtBackIDs;
    marks.remove(id);
    setBroughtBackIDs(marks);
    return true;
}

void BringBackSchedule::schedule()
{
    if (m_task) {
        m_task->cancel();
        m_task.reset();
    }
    if (const auto next = nextBringBackDate(pendingDates()))
        arm(*next);
}

void BringBackSchedule::arm(const QDateTime& target)
{
    const qint64 remaining = std::max<qint64>(0, m_clock->now().msecsTo(target));
    const int step = int(std::min<qint64>(remaining, stepMs));
    m_task = m_timers->after(step, this, [this, target] {
        m_task.reset();
        // The wall clock decides: after a suspend or a change of the clock the step may end
        // early or late, and only a reminder that is really due is delivered.
        if (m_clock->now() >= target)
            deliverDue();
        else
            arm(target);
    });
}

} // namespace vesk
