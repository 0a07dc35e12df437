#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace vesk {

class Settings;

// One person's timeline edits. They change the timeline only, never the library.
struct VeskTimelineEdits {
    // Entry identities (an item's id, or a pasted copy's own id) in the user's order; empty means
    // the chronological order.
    QList<QUuid> order;
    // Items taken out of this timeline.
    QSet<QUuid> hidden;
    // Each pasted copy's identifier and the item it shows.
    QMap<QUuid, QUuid> copies;

    bool isEmpty() const { return order.isEmpty() && hidden.isEmpty() && copies.isEmpty(); }
    friend bool operator==(const VeskTimelineEdits&, const VeskTimelineEdits&) = default;
};

// Every person's edits, keyed by the pool identifier's upper-case text.
using VeskTimelineEditsByPerson = QHash<QString, VeskTimelineEdits>;

// The stored JSON document: {"<POOL>": {"order": [...], "hidden": [...], "copies": {"<COPY>":
// "<ITEM>", ...}}, ...}, identifiers in upper case. A missing member reads as empty.
QByteArray encodeTimelineEdits(const VeskTimelineEditsByPerson& edits);

struct DecodedTimelineEdits {
    VeskTimelineEditsByPerson edits;
    // Pool keys whose value could not be read; they were left out of `edits`.
    QStringList skippedPersons;
    // False when the bytes were not a JSON object at all (nothing could be read).
    bool readable = true;
    bool isComplete() const { return readable && skippedPersons.isEmpty(); }
};

// Reads the document person by person: one person's broken value (a malformed identifier, a
// member of the wrong type) loses that person's edits only.
DecodedTimelineEdits decodeTimelineEdits(const QByteArray& json);

// The edits of every person in the user defaults under "Vesk.PersonTimeline.Edits.v1". A stored
// document that could not be read whole is copied under the backup key before the first save
// overwrites it, so no person's edits vanish unseen.
class TimelineEditsStorage {
public:
    static inline const QString editsKey = QStringLiteral("Vesk.PersonTimeline.Edits.v1");
    static inline const QString backupKey = QStringLiteral("Vesk.PersonTimeline.EditsBackup.v1");

    explicit TimelineEditsStorage(Settings& settings);

    // Reads the stored document; with none stored, or none readable, the current edits stay.
    void load();
    // Replaces one person's edits and writes the whole document.
    void save(const QString& personKey, const VeskTimelineEdits& edits);

    const VeskTimelineEditsByPerson& editsByPerson() const { return m_edits; }
    // The person's edits; empty ones for a person without any.
    VeskTimelineEdits edits(const QString& personKey) const { return m_edits.value(personKey); }

private:
    Settings& m_settings;
    VeskTimelineEditsByPerson m_edits;
    // The bytes of a stored document that was not read whole, until they are backed up.
    QByteArray m_unreadDocument;
};

} // namespace vesk
