// What the user's own hand adds to search: usage signals of the items opened, and manual tags.
#include "store/LibrarySearch.h"

#include "platform/Settings.h"
#include "platform/Uuid.h"
#include "search/SearchText.h"
#include "store/LibrarySearchHost.h"
#include "store/SearchState.h"

namespace vesk {

void LibrarySearch::loadUsageSignals()
{
    m_state->usageSignals = decodeUsageSignals(m_services.settings->data(usageSignalsKey)).value_or(UsageSignalMap());
    m_state->encodedUsageSignals.reset(m_state->usageSignals);
}

void LibrarySearch::loadManualTags()
{
    m_state->manualTagsByID = decodeManualTags(m_services.settings->data(manualTagsKey)).value_or(ManualTagMap());
}

void LibrarySearch::recordUsage(const QUuid& id)
{
    assertMainThread();
    SearchState& state = *m_state;
    const QString key = uuidString(id);
    const auto previous = state.usageSignals.constFind(key);
    const std::optional<UsageSignal> existing = previous != state.usageSignals.cend()
        ? std::optional<UsageSignal>(*previous)
        : std::nullopt;
    const UsageSignal used = recordedUse(existing, m_services.clock->now());
    state.usageSignals.insert(key, used);
    state.encodedUsageSignals.set(key, used);
    saveUsageSignals();
    state.relatedCache.clear();
}

double LibrarySearch::usageScore(const QUuid& id, const QDateTime& now) const
{
    const UsageSignalMap& signalMap = m_state->usageSignals;
    const auto found = signalMap.constFind(uuidString(id));
    if (found == signalMap.cend())
        return 0.0;
    return vesk::usageScore(*found, now);
}

void LibrarySearch::saveUsageSignals()
{
    // Uses are remembered for this run only: a settings file that cannot be written would say so
    // at every item opened.
    if (m_host->readOnly())
        return;
    m_services.settings->setData(usageSignalsKey, m_state->encodedUsageSignals.json());
}

QSet<QString> LibrarySearch::manualTags(const VeskItem& item) const
{
    const QStringList tags = m_state->manualTagsByID.value(uuidString(item.id));
    return QSet<QString>(tags.begin(), tags.end());
}

QStringList LibrarySearch::tags(const VeskItem& item) const
{
    return displayTags(item, m_state->manualTagsByID.value(uuidString(item.id)));
}

bool LibrarySearch::addManualTag(const QString& text, const VeskItem& item)
{
    assertMainThread();
    if (m_host->refuseWhileReadOnly(QStringLiteral("Tag not added"), QStringLiteral("The tag was not added")))
        return false;
    if (!vesk::addManualTag(m_state->manualTagsByID, uuidString(item.id), text))
        return false;
    saveManualTags();
    refreshAfterItemChange(item.id);
    return true;
}

void LibrarySearch::removeManualTag(const QString& text, const VeskItem& item)
{
    assertMainThread();
    // Saved and searched again even when the tag was not among the item's own (a hashtag of
    // its text stays); an item without manual tags changes nothing.
    if (m_host->refuseWhileReadOnly(QStringLiteral("Tag not removed"), QStringLiteral("The tag was not removed")))
        return;
    if (!vesk::removeManualTag(m_state->manualTagsByID, uuidString(item.id), text))
        return;
    saveManualTags();
    refreshAfterItemChange(item.id);
}

void LibrarySearch::searchForTag(const QString& text)
{
    assertMainThread();
    const QString tag = normalizedTag(text);
    if (tag.isEmpty())
        return;
    m_host->setSearchText(QLatin1Char('#') + tag);
}

void LibrarySearch::saveManualTags()
{
    if (m_host->readOnly())
        return;
    m_services.settings->setData(manualTagsKey, encodeManualTags(m_state->manualTagsByID));
}

void LibrarySearch::forgetItems(const QList<VeskItem>& items)
{
    settleVectors();
    SearchState& state = *m_state;
    {
        const ReadGate::Change change(*state.readGate);
        for (const VeskItem& item : items)
            state.vectors.remove(item.id);
    }
    for (const VeskItem& item : items) {
        const QString key = uuidString(item.id);
        state.usageSignals.remove(key);
        state.encodedUsageSignals.remove(key);
        state.manualTagsByID.remove(key);
    }
    saveUsageSignals();
    saveManualTags();
    state.relatedCache.clear();
}

void LibrarySearch::forgetAll()
{
    SearchState& state = *m_state;
    state.pendingVectors.clear();
    {
        const ReadGate::Change change(*state.readGate);
        state.vectors.clear();
    }
    state.usageSignals.clear();
    state.encodedUsageSignals.reset({});
    saveUsageSignals();
    state.manualTagsByID.clear();
    saveManualTags();
    state.relatedCache.clear();
    {
        const ReadGate::Change change(*state.readGate);
        state.index.clear();
    }
}

} // namespace vesk
