// Bring Back: reminders per item, their delivery into the brought-back marks, and the notices.
#include "store/VeskStore.h"

#include "platform/Timers.h"
#include "present/DisplayTitles.h"
#include "search/BringBackDates.h"
#include "search/Ranking.h"
#include "search/SearchText.h"

#include <algorithm>

namespace vesk {

namespace {

VeskBringBackNotice makeBringBackNotice(VeskBringBackNoticeKind kind, const QUuid& itemID, const QString& title,
    const std::optional<QString>& detail)
{
    return VeskBringBackNotice{QUuid::createUuid(), kind, itemID, title, detail};
}

} // namespace

std::optional<QDateTime> VeskStore::scheduledBringBackDate(const QUuid& id) const
{
    const auto found = m_bringBackDates.constFind(id);
    if (found == m_bringBackDates.cend())
        return std::nullopt;
    return *found;
}

void VeskStore::setBringBack(const VeskItem& item, const QDateTime& date)
{
    assertMainThread();
    if (!date.isValid() || date <= m_services.clock->now())
        return;
    replaceBringBackDate(item.id, date);
    setBringBackNotice(makeBringBackNotice(VeskBringBackNoticeKind::Scheduled, item.id, QStringLiteral("Bring Back set"),
        abbreviatedDateTimeText(date)));
}

void VeskStore::cancelBringBack(const VeskItem& item)
{
    assertMainThread();
    replaceBringBackDate(item.id, std::nullopt);
    setBringBackNotice(
        makeBringBackNotice(VeskBringBackNoticeKind::Cancelled, item.id, QStringLiteral("Bring Back cancelled"), item.title));
}

void VeskStore::replaceBringBackDate(const QUuid& id, const std::optional<QDateTime>& date)
{
    QHash<QUuid, QDateTime> dates = m_bringBackDates;
    if (date)
        dates.insert(id, *date);
    else
        dates.remove(id);
    setBringBackDates(dates);
    QSet<QUuid> marks = m_broughtBackIDs;
    marks.remove(id);
    setBroughtBackIDs(marks);
    saveBringBackDates();
    scheduleBringBackTask();
}

QHash<QUuid, QDateTime> VeskStore::pendingBringBackDates() const
{
    if (m_itemsLoaded)
        return m_bringBackDates;
    QHash<QUuid, QDateTime> known;
    for (auto it = m_bringBackDates.cbegin(); it != m_bringBackDates.cend(); ++it) {
        if (indexOfItem(it.key()) >= 0)
            known.insert(it.key(), it.value());
    }
    return known;
}

void VeskStore::deliverDueBringBacks()
{
    assertMainThread();
    const QDateTime now = m_services.clock->now();

    // Reminders of deleted items go, but only when items() is the whole library: after a failed
    // read (or without a database) every stored reminder is kept for a later start, and the
    // ones of unknown items are merely left out here.
    if (m_itemsLoaded) {
        QHash<QUuid, QDateTime> pruned;
        for (const VeskItem& item : std::as_const(m_items)) {
            if (const auto found = m_bringBackDates.constFind(item.id); found != m_bringBackDates.cend())
                pruned.insert(item.id, *found);
        }
        setBringBackDates(pruned);
    }

    QList<std::pair<QUuid, QDateTime>> due;
    const QHash<QUuid, QDateTime> pending = pendingBringBackDates();
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (it.value() <= now)
            due.append({it.key(), it.value()});
    }
    sortDueDates(due);

    if (due.isEmpty()) {
        if (m_itemsLoaded)
            saveBringBackDates();
        scheduleBringBackTask();
        return;
    }

    QHash<QUuid, QDateTime> dates = m_bringBackDates;
    QSet<QUuid> marks = m_broughtBackIDs;
    for (const auto& [id, date] : std::as_const(due)) {
        dates.remove(id);
        marks.insert(id);
    }
    setBringBackDates(dates);
    setBroughtBackIDs(marks);
    saveBringBackDates();

    if (trimmedText(m_searchText).isEmpty())
        setFilteredItems(defaultOrder(m_items, m_broughtBackIDs));

    if (const qsizetype first = indexOfItem(due.first().first); first >= 0) {
        const VeskItem earliest = m_items.at(first);
        setBringBackNotice(makeBringBackNotice(VeskBringBackNoticeKind::Returned, earliest.id,
            QStringLiteral("Brought Back"), earliest.title));
    }
    scheduleBringBackTask();
}

void VeskStore::clearBroughtBack(const QUuid& id)
{
    assertMainThread();
    if (!m_broughtBackIDs.contains(id))
        return;
    QSet<QUuid> marks = m_broughtBackIDs;
    marks.remove(id);
    setBroughtBackIDs(marks);
    // Newest first only: the next lexical refresh brings the remaining marks to the front again.
    if (trimmedText(m_searchText).isEmpty()) {
        QList<VeskItem> newestFirst = m_items;
        sortItems(newestFirst);
        setFilteredItems(newestFirst);
    }
}

void VeskStore::saveBringBackDates()
{
    m_services.settings->setData(bringBackDefaultsKey, encodeBringBackDates(m_bringBackDates));
}

void VeskStore::scheduleBringBackTask()
{
    assertMainThread();
    if (m_bringBackTask) {
        m_bringBackTask->cancel();
        m_bringBackTask.reset();
    }
    if (const auto next = nextBringBackDate(pendingBringBackDates()))
        armBringBackTask(*next);
}

void VeskStore::armBringBackTask(const QDateTime& target)
{
    const qint64 remaining = std::max<qint64>(0, m_services.clock->now().msecsTo(target));
    const int step = int(std::min<qint64>(remaining, bringBackStepMs));
    m_bringBackTask = m_services.timers->after(step, this, [this, target] {
        m_bringBackTask.reset();
        // The wall clock decides: after a suspend or a change of the clock the step may end
        // early or late, and only a reminder that is really due is delivered.
        if (m_services.clock->now() >= target)
            deliverDueBringBacks();
        else
            armBringBackTask(target);
    });
}

} // namespace vesk
