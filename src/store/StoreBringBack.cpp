// Bring Back: the store's operations forward to its schedule, and put the brought-back items at
// the front of an empty search.
#include "store/VeskStore.h"
#include "store/LibraryItems.h"

#include "store/BringBackSchedule.h"
#include "search/Ranking.h"
#include "search/SearchText.h"

namespace vesk {

const QHash<QUuid, QDateTime>& VeskStore::bringBackDates() const
{
    return m_bringBack->dates();
}

void VeskStore::setBringBackDates(const QHash<QUuid, QDateTime>& value)
{
    assertMainThread();
    m_bringBack->setDates(value);
}

const QSet<QUuid>& VeskStore::broughtBackIDs() const
{
    return m_bringBack->broughtBackIDs();
}

void VeskStore::setBroughtBackIDs(const QSet<QUuid>& value)
{
    assertMainThread();
    m_bringBack->setBroughtBackIDs(value);
}

const std::optional<VeskBringBackNotice>& VeskStore::bringBackNotice() const
{
    return m_bringBack->notice();
}

void VeskStore::setBringBackNotice(const std::optional<VeskBringBackNotice>& value)
{
    assertMainThread();
    m_bringBack->setNotice(value);
}

std::optional<QDateTime> VeskStore::scheduledBringBackDate(const QUuid& id) const
{
    return m_bringBack->scheduledDate(id);
}

void VeskStore::setBringBack(const VeskItem& item, const QDateTime& date)
{
    assertMainThread();
    if (refuseWhileReadOnly(QStringLiteral("Not scheduled"), QStringLiteral("Bring Back was not scheduled")))
        return;
    m_bringBack->set(item, date);
}

void VeskStore::cancelBringBack(const VeskItem& item)
{
    assertMainThread();
    if (refuseWhileReadOnly(QStringLiteral("Not cancelled"), QStringLiteral("Bring Back was not cancelled")))
        return;
    m_bringBack->cancel(item);
}

void VeskStore::deliverDueBringBacks()
{
    assertMainThread();
    m_bringBack->deliverDue();
}

void VeskStore::clearBroughtBack(const QUuid& id)
{
    assertMainThread();
    if (!m_bringBack->clearMark(id))
        return;
    // Newest first only: the next lexical refresh brings the remaining marks to the front again.
    if (trimmedText(searchText()).isEmpty()) {
        // The list is newest first already, as a rule: then it is shown itself, not a sorted copy
        // of every item.
        if (isSortedNewestFirst(items())) {
            m_library->setFilteredItems(items());
            return;
        }
        QList<VeskItem> newestFirst = items();
        sortItems(newestFirst);
        m_library->setFilteredItems(newestFirst);
    }
}

void VeskStore::saveBringBackDates()
{
    m_bringBack->save();
}

void VeskStore::makeBringBackSchedule()
{
    BringBackSchedule::Library library;
    library.isWhole = [this] { return itemsLoaded(); };
    library.items = [this]() -> const QList<VeskItem>& { return items(); };
    library.indexOf = [this](const QUuid& id) { return indexOfItem(id); };
    library.marksDelivered = [this] {
        if (trimmedText(searchText()).isEmpty())
            m_library->setFilteredItems(defaultOrder(items(), broughtBackIDs()));
    };
    m_bringBack = std::make_unique<BringBackSchedule>(m_services.clock, m_services.timers, m_services.settings,
                                                      std::move(library));
    connect(m_bringBack.get(), &BringBackSchedule::datesChanged, this, &VeskStore::bringBackDatesChanged);
    connect(m_bringBack.get(), &BringBackSchedule::broughtBackIDsChanged, this, &VeskStore::broughtBackIDsChanged);
    connect(m_bringBack.get(), &BringBackSchedule::noticeChanged, this, &VeskStore::bringBackNoticeChanged);
}

} // namespace vesk
