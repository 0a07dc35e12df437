// What the window asks of one item by name (a move into a group, a new title) and the notices it
// posts about work done for the user outside an intake.
#include "store/VeskStore.h"

namespace vesk {

bool VeskStore::moveItemToGroup(const QUuid& itemID, const std::optional<QUuid>& groupID, const QString& targetName)
{
    assertMainThread();
    const qsizetype index = indexOfItem(itemID);
    if (index < 0)
        return false;
    // The current copy is moved, so nothing saved since a menu or prompt opened is written back
    // over.
    VeskItem moved = items().at(index);
    moved.groupID = groupID;
    // A move that was not written is said by the failure notice, never as "Moved".
    if (!updateItem(moved))
        return false;
    postCapturedNotice(QStringLiteral("Moved"), moved.title + QStringLiteral(" \u2192 ") + targetName, itemID);
    return true;
}

bool VeskStore::renameItem(const QUuid& id, const QString& title)
{
    assertMainThread();
    const qsizetype index = indexOfItem(id);
    const QString trimmed = title.trimmed();
    if (index < 0 || trimmed.isEmpty())
        return false;
    VeskItem renamed = items().at(index);
    renamed.title = trimmed;
    return updateItem(renamed);
}

void VeskStore::postCapturedNotice(const QString& title, const std::optional<QString>& detail,
                                   const std::optional<QUuid>& relatedID)
{
    setIntakeNotice(VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Captured, title, detail, relatedID});
}

void VeskStore::clearIntakeNotice(const QUuid& noticeID)
{
    if (intakeNotice() && intakeNotice()->id == noticeID)
        setIntakeNotice(std::nullopt);
}

void VeskStore::clearBringBackNotice(const QUuid& noticeID)
{
    if (bringBackNotice() && bringBackNotice()->id == noticeID)
        setBringBackNotice(std::nullopt);
}

} // namespace vesk
