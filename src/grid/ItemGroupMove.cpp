#include "grid/ItemGroupMove.h"

#include "grid/ResultStates.h"
#include "store/VeskStore.h"

namespace vesk {

void moveItemToGroup(VeskStore& store, const QUuid& itemID, const std::optional<QUuid>& groupID,
                     const QString& targetName)
{
    const qsizetype index = store.indexOfItem(itemID);
    if (index < 0)
        return;
    VeskItem moved = store.items().at(index);
    moved.groupID = groupID;
    // A move that was not written is said by the store's failure notice, never as "Moved".
    if (!store.updateItem(moved))
        return;
    VeskIntakeNotice notice;
    notice.id = QUuid::createUuid();
    notice.kind = VeskIntakeNoticeKind::Captured;
    notice.title = QStringLiteral("Moved");
    notice.detail = movedNoticeDetail(moved, targetName);
    notice.relatedID = itemID;
    store.setIntakeNotice(notice);
}

} // namespace vesk
