#pragma once
// Decisions behind the main window's reactions to store changes, kept free of widgets so they can
// be checked directly: how long each kind of notice stays.

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
    // How long closing the window waits for imports still copying before it asks.
    int closeWaitsForImportsMs = 15000;
    // The ease-out of a notice leaving and the summon hop are not timers of their own.
};

// How long a Bring Back notice stays: an item that came back stays longer than a confirmation.
int bringBackNoticeDelayMs(VeskBringBackNoticeKind kind, const WindowTimings& timings = {});

} // namespace vesk
