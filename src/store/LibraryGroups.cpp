#include "store/LibraryGroups.h"

#include "model/ServiceInterfaces.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "store/FailureWording.h"
#include "store/PublishedValue.h"
#include "store/SQLiteDatabase.h"

#include <QCollator>
#include <algorithm>

namespace vesk {

LibraryGroups::LibraryGroups(std::shared_ptr<Clock> clock, std::shared_ptr<RecoverySnapshotService> snapshots,
                             Library library, QObject* parent)
    : QObject(parent), m_clock(std::move(clock)), m_snapshots(std::move(snapshots)), m_library(std::move(library))
{
}

void LibraryGroups::setGroups(const QList<VeskGroup>& value)
{
    if (assignChanged(m_groups, value))
        emit groupsChanged();
}

std::optional<VeskGroup> LibraryGroups::group(const QUuid& id) const
{
    const auto found = std::find_if(m_groups.cbegin(), m_groups.cend(), [&](const VeskGroup& g) { return g.id == id; });
    if (found == m_groups.cend())
        return std::nullopt;
    return *found;
}

void LibraryGroups::sort(QList<VeskGroup>& groups)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(groups.begin(), groups.end(), [&](const VeskGroup& a, const VeskGroup& b) {
        return collator.compare(a.name, b.name) < 0;
    });
}

void LibraryGroups::load()
{
    SQLiteDatabase* database = m_library.database();
    if (!database) {
        setGroups({});
        return;
    }
    auto groups = database->fetchGroups();
    if (!groups) {
        veskLog(QStringLiteral("Vesk group load error: ") + groups.error().logText());
        setGroups({});
        return;
    }
    setGroups(groups.value());
}

bool LibraryGroups::write(const VeskGroup& group, const QString& title, const QString& whatDidNotHappen,
                          const QString& logText)
{
    SQLiteDatabase* database = m_library.database();
    if (!database)
        return true;
    auto written = database->upsertGroup(group);
    if (written)
        return true;
    veskLog(logText + written.error().logText());
    m_library.reportRefused(title, whatDidNotHappen, written.error());
    return false;
}

std::optional<VeskGroup> LibraryGroups::create(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QString title = QStringLiteral("Group not created");
    const QString whatDidNotHappen = quotedItemTitle(trimmed) + QStringLiteral(" was not created");
    if (m_library.refuse(title, whatDidNotHappen))
        return std::nullopt;
    const VeskGroup group{QUuid::createUuid(), trimmed, m_clock->now()};
    if (!write(group, title, whatDidNotHappen, QStringLiteral("Vesk group create error: ")))
        return std::nullopt;
    QList<VeskGroup> groups = m_groups;
    groups.append(group);
    sort(groups);
    setGroups(groups);
    m_snapshots->noteChange();
    return group;
}

bool LibraryGroups::rename(const QUuid& id, const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return false;
    const auto found = std::find_if(m_groups.cbegin(), m_groups.cend(), [&](const VeskGroup& g) { return g.id == id; });
    if (found == m_groups.cend())
        return false;
    const QString title = QStringLiteral("Group not renamed");
    const QString whatDidNotHappen = quotedItemTitle(found->name) + QStringLiteral(" was not renamed");
    if (m_library.refuse(title, whatDidNotHappen))
        return false;
    VeskGroup renamed = *found;
    renamed.name = trimmed;
    if (!write(renamed, title, whatDidNotHappen, QStringLiteral("Vesk group rename error: ")))
        return false;
    QList<VeskGroup> groups = m_groups;
    groups[found - m_groups.cbegin()] = renamed;
    sort(groups);
    setGroups(groups);
    m_snapshots->noteChange();
    return true;
}

bool LibraryGroups::remove(const QUuid& id, const QString& name, const QList<VeskItem>& members)
{
    if (SQLiteDatabase* database = m_library.database()) {
        if (auto deleted = database->deleteGroup(id, members); !deleted) {
            veskLog(QStringLiteral("Vesk group delete error: ") + deleted.error().logText());
            m_library.reportRefused(QStringLiteral("Group not deleted"),
                                    quotedItemTitle(name) + QStringLiteral(" was not deleted"), deleted.error());
            return false;
        }
    }
    QList<VeskGroup> groups = m_groups;
    groups.removeIf([&](const VeskGroup& g) { return g.id == id; });
    setGroups(groups);
    return true;
}

} // namespace vesk
