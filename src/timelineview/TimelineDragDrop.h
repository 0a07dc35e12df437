#pragma once

#include <QMimeData>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>

namespace vesk {

// The drag state of one open timeline: the entry whose drag began here and the entry a drag
// hovers over (it shows the "Drop here" marker).
struct TimelineDragState {
    std::optional<QUuid> dragging;
    std::optional<QUuid> insertionTarget;

    void begin(const QUuid& entry)
    {
        dragging = entry;
        insertionTarget.reset();
    }
    // A drag enters or leaves an entry. Hovering over the dragged entry itself marks nothing; a
    // late leave of an entry another one has already taken over changes nothing.
    void hover(const QUuid& entry, bool inside)
    {
        if (inside) {
            if (dragging != entry)
                insertionTarget = entry;
        } else if (insertionTarget == entry) {
            insertionTarget.reset();
        }
    }
    bool showsMarker(const QUuid& entry) const { return insertionTarget == entry && dragging != entry; }
    // However a drag ends (dropped here, elsewhere or cancelled) nothing of it is kept, so a later
    // text drop from another program cannot move the entry dragged before.
    void end()
    {
        dragging.reset();
        insertionTarget.reset();
    }
};

// The payload of a dragged entry: its identity as plain text.
std::unique_ptr<QMimeData> timelineDragPayload(const QUuid& entry);

// What a drop on the timeline does.
struct TimelineDrop {
    enum class Outcome {
        // Not taken: no person is shown, or the drop carries no text.
        Refused,
        // Taken, but the text names no entry: nothing moves.
        Ignored,
        // Taken: `entry` moves just before the drop target (to the end without one).
        Move,
    };
    Outcome outcome = Outcome::Refused;
    QUuid entry;
};

// A drag that began in this timeline moves its own entry; otherwise dropped text that is an
// entry's identity does.
TimelineDrop decideTimelineDrop(const std::optional<QUuid>& recordedDrag, bool personShown,
                                const std::optional<QString>& droppedText);

} // namespace vesk
