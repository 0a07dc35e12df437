#pragma once
// The sheet in which the user picks when an item comes back: a date and time from a minute ahead
// on, "Bring Back" to keep it, "Cancel Bring Back" to drop the one already set.

#include "model/VeskItem.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

class QDateTimeEdit;
class QPushButton;

namespace vesk {

class VeskBringBackPicker : public QDialog {
    Q_OBJECT
public:
    // currentDate: the reminder already set, if any. Nothing is kept until "Bring Back" is pressed.
    VeskBringBackPicker(const VeskItem& item, const std::optional<QDateTime>& currentDate,
        std::function<void(const QDateTime&)> onSave, std::function<void()> onCancelSchedule,
        std::shared_ptr<Clock> clock = nullptr, QWidget* parent = nullptr);

    const VeskItem& item() const { return m_item; }
    const std::optional<QDateTime>& currentDate() const { return m_currentDate; }
    // The date and time shown (UTC).
    QDateTime selectedDate() const { return m_selectedDate; }
    void setSelectedDate(const QDateTime& date);

    QDateTimeEdit* dateField() const { return m_dateField; }
    QPushButton* bringBackButton() const { return m_bringBackButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    // Null without a reminder already set.
    QPushButton* cancelScheduleButton() const { return m_cancelScheduleButton; }

    // The earliest date that can be chosen: a minute from now.
    static constexpr int minimumLeadSeconds = 60;

private:
    void updateBringBackButton();
    void choose(const QDateTime& date);

    VeskItem m_item;
    std::optional<QDateTime> m_currentDate;
    std::function<void(const QDateTime&)> m_onSave;
    std::function<void()> m_onCancelSchedule;
    std::shared_ptr<Clock> m_clock;
    QDateTime m_selectedDate;
    QDateTimeEdit* m_dateField = nullptr;
    QPushButton* m_bringBackButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_cancelScheduleButton = nullptr;
};

} // namespace vesk
