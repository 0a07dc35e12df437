#include "app/WindowReactions.h"

namespace vesk {

int bringBackNoticeDelayMs(VeskBringBackNoticeKind kind, const WindowTimings& timings)
{
    return kind == VeskBringBackNoticeKind::Returned ? timings.returnedBringBackNoticeMs
                                                     : timings.bringBackNoticeMs;
}

} // namespace vesk
