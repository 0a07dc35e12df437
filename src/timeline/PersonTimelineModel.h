#pragma once

#include "timeline/VeskTimelineEdits.h"
#include "timeline/VeskTimelinePhoto.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class Settings;

// A named person as the timeline lists them.
struct TimelinePerson {
    QUuid id;
    QString name;

    friend bool operator==(const TimelinePerson&, const TimelinePerson&) = default;
};

// What was cut or copied in one open timeline; never the system clipboard.
struct TimelineClipboard {
    // The entry's identity: a copy's own identifier, else its item's.
    QUuid occurrenceID;
    QUuid itemID;
    // The person whose timeline it came from; it pastes only there.
    QUuid personID;
    bool isCut = false;

    friend bool operator==(const TimelineClipboard&, const TimelineClipboard&) = default;
};

// The state and operations of the person timeline window: which person is shown, what their
// timeline displays, and every edit (cut, copy, paste, remove, the two restores, moves). Each
// edit is saved at once to the user defaults; none touches the library. Main thread only.
class PersonTimelineModel {
public:
    struct Sources {
        // The named people, sorted by name.
        std::function<QList<TimelinePerson>()> persons;
        // A person's photographs, in the library's order.
        std::function<QList<VeskItem>(const QUuid& personID)> photos;
        // When a photo was taken (the shared media cache).
        PhotoDateLookup photoDate;
    };

    PersonTimelineModel(Sources sources, Settings& settings);
    ~PersonTimelineModel();

    // Called after every change this model makes (selection, clipboard, edits).
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    // The picked person, or the first by name when none is picked or the picked one is gone.
    std::optional<TimelinePerson> selectedPerson() const;
    void setSelectedPersonID(const QUuid& id);

    // The selected person's edits (empty ones without a person).
    VeskTimelineEdits currentEdits() const;
    // The person's photographs, oldest first, nothing taken out and no copies.
    QList<VeskTimelinePhoto> basePhotos() const;
    // What the timeline shows and the photo book prints.
    QList<VeskTimelinePhoto> displayedPhotos() const;
    int removedPhotoCount() const;

    const std::optional<TimelineClipboard>& clipboard() const { return m_clipboard; }
    // Cut or Copy: remembers the entry; a cut entry stays where it is until it is pasted.
    void putOnClipboard(const VeskTimelinePhoto& photo, bool isCut);
    bool canPaste() const;
    // Pastes just before the target entry, or at the end without one (or when it is not shown).
    void paste(const std::optional<QUuid>& target);
    // Takes one entry out of this timeline: a copy is dropped, a photograph hidden.
    void removeFromTimeline(const QUuid& identity);
    void restoreChronologicalOrder();
    void restoreRemovedPhotos();
    // A drop: moves the dragged entry just before the target (to the end without one). Ignored
    // when the person shown is no longer `personID`, for a drop on itself, or an entry not shown.
    void moveOccurrence(const QUuid& dragged, const std::optional<QUuid>& target, const QUuid& personID);

    // Reads every person's stored edits; the window does this each time it is shown.
    void loadEdits();

private:
    void saveEdits(const VeskTimelineEdits& edits, const QUuid& personID);
    void changed();

    Sources m_sources;
    std::unique_ptr<TimelineEditsStorage> m_storage;
    std::optional<QUuid> m_selectedPersonID;
    std::optional<TimelineClipboard> m_clipboard;
    std::function<void()> m_onChange;
};

} // namespace vesk
