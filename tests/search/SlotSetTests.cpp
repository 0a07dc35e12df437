#include "search/SlotSet.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace vesk {
namespace {

std::vector<SlotSet::Slot> slotsOf(const SlotSet& set)
{
    std::vector<SlotSet::Slot> slots;
    set.forEach([&](SlotSet::Slot slot) { slots.push_back(slot); });
    return slots;
}

// Words grow common and rare again as items come and go: whatever form the set takes on the way,
// it holds what a plain set would, in ascending order.
TEST(SlotSet, HoldsTheSameSlotsAsAPlainSetThroughEveryChangeOfForm)
{
    QRandomGenerator random(7);
    const size_t slotCount = 4096;
    SlotSet set;
    std::set<SlotSet::Slot> expected;
    // Rising to most slots and falling to a few passes the line between the forms both ways.
    for (const int phase : {0, 1, 0, 1}) {
        for (int step = 0; step < 6000; ++step) {
            const auto slot = SlotSet::Slot(random.bounded(int(slotCount)));
            const bool adding = phase == 0 ? random.bounded(10) < 8 : random.bounded(10) < 2;
            if (adding) {
                set.insert(slot, slotCount);
                expected.insert(slot);
            } else {
                set.erase(slot, slotCount);
                expected.erase(slot);
            }
            ASSERT_EQ(set.size(), expected.size()) << "phase " << phase << " step " << step;
            ASSERT_EQ(set.contains(slot), expected.count(slot) == 1);
        }
        EXPECT_EQ(slotsOf(set), std::vector<SlotSet::Slot>(expected.begin(), expected.end()));
    }
}

TEST(SlotSet, FilledInOrderAsPreparedEitherWay)
{
    for (const size_t count : {size_t(10), size_t(3000)}) {
        SlotSet set;
        set.prepare(count, 4000);
        std::vector<SlotSet::Slot> slots;
        for (size_t i = 0; i < count; ++i)
            slots.push_back(SlotSet::Slot(i * 4000 / count));
        for (const SlotSet::Slot slot : slots)
            set.append(slot);
        EXPECT_EQ(set.size(), count);
        EXPECT_EQ(slotsOf(set), slots);
        // A slot beyond those the set was made for still fits.
        set.insert(5000, 5001);
        EXPECT_TRUE(set.contains(5000));
        EXPECT_FALSE(set.contains(4999));
    }
}

TEST(SlotSet, ANewItemAddsLittleToASetMadeToItsSize)
{
    // A list, then bits; the new item takes the slot after the last, as a capture does.
    constexpr size_t kSlots = 64 * 1600;
    for (const size_t count : {size_t(1000), size_t(60'000)}) {
        SlotSet set;
        set.prepare(count, kSlots);
        for (size_t i = 0; i < count; ++i)
            set.append(SlotSet::Slot(i * kSlots / count));
        const size_t before = set.heldBytes();
        set.insert(SlotSet::Slot(kSlots), kSlots + 1);
        EXPECT_TRUE(set.contains(SlotSet::Slot(kSlots)));
        EXPECT_LE(set.heldBytes(), before + before / 4) << count << " slots";
    }
}

} // namespace
} // namespace vesk
