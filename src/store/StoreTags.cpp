// The store's manual-tag operations.
#include "store/SearchState.h"

#include "platform/Uuid.h"
#include "search/SearchText.h"

namespace vesk {

QSet<QString> VeskStore::manualTags(const VeskItem& item) const
{
    const QStringList tags = searchState().manualTagsByID.value(uuidString(item.id));
    return QSet<QString>(tags.begin(), tags.end());
}

QStringList VeskStore::tags(const VeskItem& item) const
{
    return displayTags(item, searchState().manualTagsByID.value(uuidString(item.id)));
}

bool VeskStore::addManualTag(const QString& text, const VeskItem& item)
{
    assertMainThread();
    if (refuseWhileReadOnly(QStringLiteral("Tag not added"), QStringLiteral("The tag was not added")))
        return false;
    if (!vesk::addManualTag(searchState().manualTagsByID, uuidString(item.id), text))
        return false;
    saveManualTags();
    refreshSearchAfterItemChange(item.id);
    return true;
}

void VeskStore::removeManualTag(const QString& text, const VeskItem& item)
{
    assertMainThread();
    // Saved and searched again even when the tag was not among the item's own (a hashtag of
    // its text stays); an item without manual tags changes nothing.
    if (refuseWhileReadOnly(QStringLiteral("Tag not removed"), QStringLiteral("The tag was not removed")))
        return;
    if (!vesk::removeManualTag(searchState().manualTagsByID, uuidString(item.id), text))
        return;
    saveManualTags();
    refreshSearchAfterItemChange(item.id);
}

void VeskStore::searchForTag(const QString& text)
{
    assertMainThread();
    const QString tag = normalizedTag(text);
    if (tag.isEmpty())
        return;
    setSearchText(QLatin1Char('#') + tag);
}

void VeskStore::saveManualTags()
{
    if (readOnlyReason())
        return;
    m_services.settings->setData(manualTagsDefaultsKey, encodeManualTags(searchState().manualTagsByID));
}

} // namespace vesk
