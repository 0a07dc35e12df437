#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

// The focused item and the multi-selection. What a selection means elsewhere (a use recorded, a
// brought-back mark taken away) is done through the hooks the store gives it.
class LibrarySelection : public QObject {
    Q_OBJECT

public:
    struct Hooks {
        // The user focused the item: its use counts for the ranking.
        std::function<void(const QUuid&)> recordUse;
        // The user selected the item alone: it is no longer shown as brought back.
        std::function<void(const QUuid&)> clearBroughtBack;
    };

    explicit LibrarySelection(Hooks hooks, QObject* parent = nullptr);

    // Published state: getter, setter that ignores an equal value, ...Changed signal.
    const std::optional<QUuid>& selectedID() const { return m_selectedID; }
    void setSelectedID(const std::optional<QUuid>& value);
    const QSet<QUuid>& selectedIDs() const { return m_selectedIDs; }
    void setSelectedIDs(const QSet<QUuid>& value);

    // A plain click: the item alone, focused, its use recorded and its brought-back mark cleared.
    void select(const QUuid& id);
    // A command click: takes the item out of the selection, or adds and focuses it.
    void toggle(const QUuid& id);
    // A shift click: adds the range between the anchor (the focus, else any selected item) and
    // id, both looked up in visible (the grid's order). Without an anchor in visible it is a
    // plain click; an id not in visible does nothing.
    void extend(const QUuid& id, const QList<VeskItem>& visible);
    // Select all: these items, keeping a focus that is set, else focusing the first.
    void selectItems(const QList<VeskItem>& items);
    // The item alone and focused, without recording a use or clearing its mark: for selections
    // the program makes as the user types.
    void selectWithoutRecordingUse(const QUuid& id);
    // The items left the library: neither focused nor selected any more. The rest of the
    // selection stays.
    void forget(const QSet<QUuid>& ids);

signals:
    void selectedIDChanged();
    void selectedIDsChanged();

private:
    Hooks m_hooks;
    std::optional<QUuid> m_selectedID;
    QSet<QUuid> m_selectedIDs;
};

} // namespace vesk
