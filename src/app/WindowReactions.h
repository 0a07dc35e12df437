#pragma once
// Decisions behind the main window's reactions to store changes, kept free of widgets so they can
// be checked directly: which new card pulses, and how long each kind of notice stays.

#include "model/VeskItem.h"
#include "model/VeskNotices.h"

#include <QList>
#include <QSet>
#include <QUuid>
#include <optional>

namespace vesk {

// How long the window's transient marks last (milliseconds). A test may shorten them.
struct WindowTimings {
    int capturePulseMs = 1250;
    int intakeNoticeMs = 2600;
    int bringBackNoticeMs = 2800;
    int returnedBringBackNoticeMs = 5000;
    // The ease-out of a notice leaving and the summon hop are not timers of their own.
};

struct NewItemsOutcome {
    // Every identifier now in the library: removed items leave the known set, so an item that is
    // later re-added pulses again.
    QSet<QUuid> knownItemIDs;
    // The card to pulse: among the items not seen before, the latest createdAt; on equal dates
    // the one earliest in the list. None when nothing new arrived.
    std::optional<QUuid> pulseID;
};
NewItemsOutcome noteNewItems(const QSet<QUuid>& knownItemIDs, const QList<VeskItem>& items);

// How long a Bring Back notice stays: an item that came back stays longer than a confirmation.
int bringBackNoticeDelayMs(VeskBringBackNoticeKind kind, const WindowTimings& timings = {});

} // namespace vesk
