#include "timelineview/TimelineDragDrop.h"

#include "platform/Uuid.h"

namespace vesk {

std::unique_ptr<QMimeData> timelineDragPayload(const QUuid& entry)
{
    auto payload = std::make_unique<QMimeData>();
    payload->setText(uuidString(entry));
    return payload;
}

TimelineDrop decideTimelineDrop(const std::optional<QUuid>& recordedDrag, bool personShown,
                                const std::optional<QString>& droppedText)
{
    if (!personShown)
        return {};
    if (recordedDrag)
        return {TimelineDrop::Outcome::Move, *recordedDrag};
    if (!droppedText)
        return {};
    if (const std::optional<QUuid> entry = parseUuid(droppedText->trimmed()))
        return {TimelineDrop::Outcome::Move, *entry};
    return {TimelineDrop::Outcome::Ignored, QUuid()};
}

} // namespace vesk
