#include "platform/ParallelWork.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <atomic>

namespace vesk {
namespace {

TEST(ParallelWork, SortGivesStdSortsOrderAndChunksCoverEveryIndexOnce)
{
    QRandomGenerator random(3);
    for (const size_t count : {size_t(0), size_t(5), size_t(20'000), size_t(100'003)}) {
        std::vector<std::pair<int, int>> values;
        for (size_t i = 0; i < count; ++i)
            values.emplace_back(int(random.bounded(500)), int(i));
        std::vector<std::pair<int, int>> expected = values;
        std::sort(expected.begin(), expected.end());
        sortInParallel(values, std::less<>());
        EXPECT_EQ(values, expected) << count;

        std::vector<std::atomic<int>> visits(count);
        forChunksInParallel(count, [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
                ++visits[i];
        }, 1000);
        for (size_t i = 0; i < count; ++i)
            ASSERT_EQ(visits[i].load(), 1) << i;
    }
}

} // namespace
} // namespace vesk
