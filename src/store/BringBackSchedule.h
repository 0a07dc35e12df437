#pragma once

#include "model/VeskItem.h"
#include "model/VeskNotices.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class Clock;
class PendingDelay;
class Settings;
class Timers;

// Bring Back: one reminder date per item, kept in the user defaults; a timer aimed at the next
// reminder; the brought-back marks that delivery sets and the notices it says. It reads the
// library only through what the store gives it. Delivered marks lead an empty search; a cleared
// mark leaves it newest first until the next lexical refresh.
class BringBackSchedule : public QObject {
    Q_OBJECT

public:
    // What the schedule reads of the library.
    struct Library {
        // True only when items() is the whole stored library: reminders of items that are not in
        // it may then be dropped.
        std::function<bool()> isWhole;
        std::function<const QList<VeskItem>&()> items;
        // Position of the item in items(), or -1.
        std::function<qsizetype(const QUuid&)> indexOf;
        // Delivery has put new marks into broughtBackIDs (called before its notice is said).
        std::function<void()> marksDelivered;
    };

    BringBackSchedule(std::shared_ptr<Clock> clock, std::shared_ptr<Timers> timers,
                      std::shared_ptr<Settings> settings, Library library, QObject* parent = nullptr);
    ~BringBackSchedule() override;

    // The timer never waits longer than this before it looks at the wall clock again: a timer
    // cannot hold months, and it stops while the computer sleeps.
    static constexpr int stepMs = 3'600'000;

    // Published state: getter, setter that ignores an equal value, ...Changed signal.
    const QHash<QUuid, QDateTime>& dates() const { return m_dates; }
    void setDates(const QHash<QUuid, QDateTime>& value);
    const QSet<QUuid>& broughtBackIDs() const { return m_broughtBackIDs; }
    void setBroughtBackIDs(const QSet<QUuid>& value);
    const std::optional<VeskBringBackNotice>& notice() const { return m_notice; }
    void setNotice(const std::optional<VeskBringBackNotice>& value);

    // Reads the reminders from the user defaults; missing or undecodable data is none.
    void load();
    // Writes dates() to the user defaults.
    void save();
    std::optional<QDateTime> scheduledDate(const QUuid& id) const;
    // Sets or replaces the item's reminder and says "Bring Back set"; a date not later than now
    // changes nothing.
    void set(const VeskItem& item, const QDateTime& date);
    // Removes the item's reminder and mark (if any) and says "Bring Back cancelled".
    void cancel(const VeskItem& item);
    // Moves the items whose reminders are due into broughtBackIDs, says "Brought Back" once for
    // the earliest, and aims the timer at the next reminder.
    void deliverDue();
    // Takes the item's mark away; false when it had none.
    bool clearMark(const QUuid& id);
    // Aims the timer at the next reminder that can come due.
    void schedule();

signals:
    void datesChanged();
    void broughtBackIDsChanged();
    void noticeChanged();

private:
    // The reminders that can come due: all of them once the library is whole; otherwise only
    // those of items in memory, the others being kept for a start that reads the library.
    QHash<QUuid, QDateTime> pendingDates() const;
    // Sets (or with none removes) the item's reminder, takes its mark away, saves and aims the
    // timer anew.
    void replaceDate(const QUuid& id, const std::optional<QDateTime>& date);
    // Waits a step (at most stepMs) towards target, then delivers or waits again.
    void arm(const QDateTime& target);

    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<Timers> m_timers;
    std::shared_ptr<Settings> m_settings;
    Library m_library;
    QHash<QUuid, QDateTime> m_dates;
    QSet<QUuid> m_broughtBackIDs;
    std::optional<VeskBringBackNotice> m_notice;
    std::shared_ptr<PendingDelay> m_task;
};

} // namespace vesk
