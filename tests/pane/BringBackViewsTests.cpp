#include "common/LocalTimeZone.h"
#include "common/MenuPixels.h"
#include "common/StoreFixture.h"
#include "pane/BringBackControls.h"
#include "pane/VeskBringBackPicker.h"
#include "pane/VeskPreview.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/Theme.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace vesk;
using namespace vesk::test;

namespace {

// As shown: "&&" in an entry's text is a plain "&", not a keyboard mnemonic.
QString shownText(const QAction* action)
{
    QString text = action->text();
    EXPECT_FALSE(text.remove(QStringLiteral("&&")).contains(QLatin1Char('&'))) << action->text().toStdString();
    return action->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
}

QStringList menuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("—") : shownText(action));
    return texts;
}

QAction* menuAction(const QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && shownText(action) == text)
            return action;
    }
    return nullptr;
}

VeskItem pickerItem()
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = QStringLiteral("Letter to Ana");
    item.createdAt = QDateTime::fromSecsSinceEpoch(1'600'000'000, Qt::UTC);
    return item;
}

struct Calls {
    QList<QDateTime> saved;
    int cancelled = 0;
};

std::unique_ptr<VeskBringBackPicker> makePicker(Calls& calls, const std::optional<QDateTime>& current,
    std::shared_ptr<Clock> clock)
{
    return std::make_unique<VeskBringBackPicker>(
        pickerItem(), current, [&calls](const QDateTime& date) { calls.saved.append(date); },
        [&calls] { ++calls.cancelled; }, std::move(clock));
}

class BringBackViews : public StoreFixture {};

} // namespace

TEST_F(BringBackViews, APickerForAnItemWithoutAReminderStartsThisTimeTomorrowAndSaves)
{
    ScopedLocalTime zone("Europe/Berlin");
    clock->set(QDateTime(QDate(2025, 5, 6), QTime(14, 25, 30), Qt::LocalTime));
    Calls calls;
    auto picker = makePicker(calls, std::nullopt, clock);
    EXPECT_EQ(picker->cancelScheduleButton(), nullptr);
    EXPECT_EQ(picker->findChildren<QPushButton*>().size(), 2);
    EXPECT_EQ(picker->selectedDate(), QDateTime(QDate(2025, 5, 7), QTime(14, 25, 30), Qt::LocalTime));
    EXPECT_TRUE(picker->bringBackButton()->isEnabled());
    EXPECT_EQ(picker->width(), 430);

    picker->open();
    QTest::mouseClick(picker->bringBackButton(), Qt::LeftButton);
    EXPECT_EQ(calls.saved, QList<QDateTime>{picker->selectedDate()});
    EXPECT_EQ(calls.cancelled, 0);
    EXPECT_EQ(picker->result(), QDialog::Accepted);
    EXPECT_FALSE(picker->isVisible());
}

TEST_F(BringBackViews, APastReminderIsShownButCannotBeKeptUntilALaterDateIsChosen)
{
    const QDateTime past = clock->now().addDays(-2);
    Calls calls;
    auto picker = makePicker(calls, past, clock);
    EXPECT_EQ(picker->selectedDate(), past);
    EXPECT_FALSE(picker->bringBackButton()->isEnabled());
    ASSERT_NE(picker->cancelScheduleButton(), nullptr);
    EXPECT_TRUE(picker->cancelScheduleButton()->isEnabled());

    // Anything chosen now keeps at least a minute's lead, and can be kept.
    picker->setSelectedDate(clock->now().addSecs(10));
    EXPECT_GE(picker->selectedDate(), clock->now().addSecs(59));
    EXPECT_TRUE(picker->bringBackButton()->isEnabled());

    picker->open();
    QTest::mouseClick(picker->cancelScheduleButton(), Qt::LeftButton);
    EXPECT_EQ(calls.cancelled, 1);
    EXPECT_TRUE(calls.saved.isEmpty());
    EXPECT_FALSE(picker->isVisible());
}

TEST_F(BringBackViews, CancelOnlyClosesAndADateThatPassedMeanwhileIsNotKept)
{
    Calls calls;
    auto picker = makePicker(calls, clock->now().addDays(3), clock);
    picker->open();
    QTest::mouseClick(picker->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(calls.cancelled, 0);
    EXPECT_TRUE(calls.saved.isEmpty());
    EXPECT_EQ(picker->result(), QDialog::Rejected);

    auto idle = makePicker(calls, std::nullopt, clock);
    idle->open();
    clock->advance(2 * 86'400);
    QTest::mouseClick(idle->bringBackButton(), Qt::LeftButton);
    EXPECT_TRUE(calls.saved.isEmpty());
    EXPECT_FALSE(idle->bringBackButton()->isEnabled());
    EXPECT_TRUE(idle->isVisible());
}

TEST_F(BringBackViews, TheMenuOffersPresetsAndFollowsTheReminder)
{
    ScopedLocalTime zone("Europe/Berlin");
    // 31 January, 10:20 local time.
    clock->set(QDateTime(QDate(2025, 1, 31), QTime(10, 20), Qt::LocalTime));
    const VeskItem item = makeItem(QStringLiteral("Insurance"), 1'600'000'000);
    seed({item});
    auto store = makeStore();
    int chooserOpened = 0;
    BringBackMenuButton menu(*store, item, [&] { ++chooserOpened; });
    BringBackStatusPill pill(*store, item);

    EXPECT_EQ(menuTexts(menu.entries()),
        (QStringList{"Tomorrow at 9 AM", "In 1 Week", "In 2 Weeks", "In 1 Month", "—", "Choose Date & Time…"}));
    EXPECT_EQ(menu.symbol(), QStringLiteral("arrow.uturn.backward.circle"));
    EXPECT_EQ(menu.toolTip(), QStringLiteral("Bring this Vesk back later"));
    EXPECT_TRUE(pill.isHidden());

    // A month on from 31 January is the last day of February, at the same time.
    menuAction(menu.entries(), QStringLiteral("In 1 Month"))->trigger();
    const QDateTime endOfFebruary(QDate(2025, 2, 28), QTime(10, 20), Qt::LocalTime);
    EXPECT_EQ(store->scheduledBringBackDate(item.id), endOfFebruary);
    EXPECT_TRUE(menu.isScheduled());
    EXPECT_EQ(menu.symbol(), QStringLiteral("clock.badge.checkmark"));
    EXPECT_EQ(menu.toolTip(), QStringLiteral("Bring back Feb 28, 2025, 10:20 AM"));
    EXPECT_EQ(menuTexts(menu.entries()),
        (QStringList{"Scheduled Feb 28, 2025, 10:20 AM", "—", "Tomorrow at 9 AM", "In 1 Week", "In 2 Weeks",
                     "In 1 Month", "—", "Choose Date & Time…", "—", "Cancel Bring Back"}));
    EXPECT_FALSE(menu.entries()->actions().first()->isEnabled());
    // Cancelling is written in the destructive colour, like every destructive entry.
    qApp->setStyleSheet(applicationStyleSheet(Theme::current()));
    EXPECT_GT(reddishPixels(*menu.entries(), menuAction(menu.entries(), QStringLiteral("Cancel Bring Back"))), 10);
    EXPECT_EQ(reddishPixels(*menu.entries(), menuAction(menu.entries(), QStringLiteral("In 1 Week"))), 0);
    qApp->setStyleSheet(QString());
    EXPECT_FALSE(pill.isHidden());
    EXPECT_EQ(pill.dateText(), QStringLiteral("Feb 28, 2025, 10:20 AM"));

    // A preset replaces the date; tomorrow at nine is 1 February 09:00.
    menuAction(menu.entries(), QStringLiteral("Tomorrow at 9 AM"))->trigger();
    EXPECT_EQ(store->scheduledBringBackDate(item.id), QDateTime(QDate(2025, 2, 1), QTime(9, 0), Qt::LocalTime));

    menuAction(menu.entries(), QStringLiteral("Choose Date & Time…"))->trigger();
    EXPECT_EQ(chooserOpened, 1);

    menuAction(menu.entries(), QStringLiteral("Cancel Bring Back"))->trigger();
    EXPECT_FALSE(store->scheduledBringBackDate(item.id));
    EXPECT_TRUE(pill.isHidden());
    EXPECT_EQ(menuTexts(menu.entries()).size(), 6);
    EXPECT_EQ(store->bringBackNotice()->title, QStringLiteral("Bring Back cancelled"));

    // The delivery of the reminder returns the menu to its unscheduled state.
    menuAction(menu.entries(), QStringLiteral("In 1 Week"))->trigger();
    passTime(7 * 86'400);
    EXPECT_FALSE(menu.isScheduled());
    EXPECT_TRUE(pill.isHidden());
}

TEST_F(BringBackViews, ThePaneOpensThePickerOnTheItemsReminderAndSavesThroughTheStore)
{
    const VeskItem item = makeItem(QStringLiteral("Visa"), 1'600'000'000);
    seed({item});
    auto store = makeStore();
    const QDateTime set = clock->now().addDays(10);
    store->setBringBack(item, set);
    VeskPreview pane(*store);
    pane.setItem(item);
    ASSERT_NE(pane.content()->findChild<BringBackMenuButton*>(), nullptr);
    EXPECT_FALSE(pane.content()->findChild<BringBackStatusPill*>()->isHidden());

    pane.openBringBackPicker();
    auto* picker = qobject_cast<VeskBringBackPicker*>(pane.bringBackPicker());
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->currentDate(), set);
    EXPECT_EQ(picker->selectedDate(), set);
    const QDateTime later = set.addDays(5);
    picker->setSelectedDate(later);
    picker->bringBackButton()->click();
    EXPECT_EQ(store->scheduledBringBackDate(item.id)->secsTo(later), 0);

    pane.openBringBackPicker();
    picker = qobject_cast<VeskBringBackPicker*>(pane.bringBackPicker());
    ASSERT_NE(picker, nullptr);
    picker->cancelScheduleButton()->click();
    EXPECT_FALSE(store->scheduledBringBackDate(item.id));
    EXPECT_TRUE(pane.content()->findChild<BringBackStatusPill*>()->isHidden());
}
