#pragma once
// The preview pane's Bring Back menu (presets, the picker, cancelling) and the status pill under
// the title. Both read the item's reminder from the store and follow its changes.

#include "model/VeskItem.h"

#include <QDateTime>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QMenu;

namespace vesk {

class VeskStore;

// What an entry of the Bring Back menu does; None for the line that only shows the date.
enum class BringBackMenuAction { None, TomorrowAtNine, InOneWeek, InTwoWeeks, InOneMonth, ChooseDate, Cancel };

class BringBackMenuButton : public QToolButton {
    Q_OBJECT
public:
    // chooseDate opens the date-and-time picker.
    BringBackMenuButton(VeskStore& store, const VeskItem& item, std::function<void()> chooseDate,
        QWidget* parent = nullptr);

    // Offers the menu for another item; an open menu closes, it was the previous item's.
    void setItem(const VeskItem& item);

    bool isScheduled() const { return m_scheduled.has_value(); }
    // The label's symbol name.
    QString symbol() const;
    // The menu as it stands; its entries follow the reminder.
    QMenu* entries();

private:
    void refresh();
    // Fills the menu for the reminder as it stands, when it changed since the menu was filled.
    void fillEntries();
    void apply(BringBackMenuAction action);

    VeskStore& m_store;
    VeskItem m_item;
    std::function<void()> m_chooseDate;
    std::optional<QDateTime> m_scheduled;
    QMenu* m_menu = nullptr;
    // Most items are shown without their menu ever being opened: its entries are made when it
    // is, not with the pane.
    bool m_entriesStale = true;
};

// "Bring Back" and the date, on an accent capsule; hidden while nothing is scheduled.
class BringBackStatusPill : public QWidget {
    Q_OBJECT
public:
    BringBackStatusPill(VeskStore& store, const VeskItem& item, QWidget* parent = nullptr);
    void setItem(const VeskItem& item);
    QString dateText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    // The pill's pieces, made when a reminder is first shown: most items have none.
    void makeLabels();

    VeskStore& m_store;
    QUuid m_itemID;
    QLabel* m_symbol = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_date = nullptr;
};

} // namespace vesk
