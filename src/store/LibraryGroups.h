#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class Clock;
class RecoverySnapshotService;
class SQLiteDatabase;
struct DatabaseError;

// The library's groups, sorted by name. Each change writes the database first; the list follows
// only a write that worked, and a write that did not is said through the store.
class LibraryGroups : public QObject {
    Q_OBJECT

public:
    // What the groups reach of the store.
    struct Library {
        // None without a database: the groups then change in memory only.
        std::function<SQLiteDatabase*()> database;
        // True, having said why, while the library takes no changes.
        std::function<bool(const QString& title, const QString& whatDidNotHappen)> refuse;
        // Says that the library file refused a change, and why.
        std::function<void(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error)>
            reportRefused;
    };

    LibraryGroups(std::shared_ptr<Clock> clock, std::shared_ptr<RecoverySnapshotService> snapshots,
                  Library library, QObject* parent = nullptr);

    // Published state: getter, setter that ignores an equal value, ...Changed signal.
    const QList<VeskGroup>& groups() const { return m_groups; }
    void setGroups(const QList<VeskGroup>& value);
    std::optional<VeskGroup> group(const QUuid& id) const;

    // By name, ignoring case, in the user's locale; equal names keep their order.
    static void sort(QList<VeskGroup>& groups);
    // Reads the groups from the database; none without one or when they cannot be read (logged).
    void load();
    // A group with the trimmed name; none for a blank name, a refusal or a failed write.
    std::optional<VeskGroup> create(const QString& name);
    // True when the group now carries the trimmed name.
    bool rename(const QUuid& id, const QString& name);
    // Removes the group's row, with its members (as they will be) written in the same
    // transaction, then the group from the list. False (said, naming the group by name) when the
    // file refused it: the group and its members stay as they were.
    bool remove(const QUuid& id, const QString& name, const QList<VeskItem>& members);

signals:
    void groupsChanged();

private:
    // Writes the group's row; false (logged and said) when the file refused it.
    bool write(const VeskGroup& group, const QString& title, const QString& whatDidNotHappen, const QString& logText);

    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<RecoverySnapshotService> m_snapshots;
    Library m_library;
    QList<VeskGroup> m_groups;
};

} // namespace vesk
