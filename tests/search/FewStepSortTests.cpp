#include "search/FewStepSort.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <functional>

namespace vesk {
namespace {

struct Result {
    qint64 step;
    qint64 created;
    quint32 id;
    friend bool operator==(const Result&, const Result&) = default;
};

bool before(const Result& a, const Result& b)
{
    if (a.step != b.step)
        return a.step > b.step;
    if (a.created != b.created)
        return a.created > b.created;
    return a.id < b.id;
}

// Results as a short query gives them: in the index's order (newest first), with scores of a
// few steps, and whatever an arrangement asks for on top.
std::vector<Result> results(size_t count, int steps, quint32 seed)
{
    QRandomGenerator random(seed);
    std::vector<Result> made;
    for (size_t i = 0; i < count; ++i)
        made.push_back({qint64(random.bounded(steps)) * 37, qint64(count - i) / 3, quint32(i)});
    return made;
}

TEST(FewStepSort, OrdersExactlyAsAFullSortWhateverTheArrangement)
{
    const struct {
        const char* name;
        std::function<std::vector<Result>()> make;
    } cases[] = {
        {"few values", [] { return results(100, 3, 1); }},
        {"in index order", [] { return results(50'000, 12, 2); }},
        {"new items at the end", [] {
             auto made = results(50'000, 12, 3);
             for (quint32 i = 0; i < 40; ++i)
                 made.push_back({qint64(i % 12) * 37, 1'000'000 + i, 60'000 + i});
             return made;
         }},
        {"an old item first", [] {
             auto made = results(50'000, 12, 4);
             made.insert(made.begin(), Result{0, -5, 70'000});
             return made;
         }},
        {"reversed", [] {
             auto made = results(50'000, 12, 5);
             std::reverse(made.begin(), made.end());
             return made;
         }},
        {"many distinct steps", [] { return results(50'000, 5'000, 6); }},
        {"shuffled", [] {
             auto made = results(50'000, 7, 7);
             QRandomGenerator random(8);
             for (size_t i = made.size() - 1; i > 0; --i)
                 std::swap(made[i], made[random.bounded(quint32(i + 1))]);
             return made;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Result> expected = c.make();
        std::vector<Result> actual = expected;
        std::sort(expected.begin(), expected.end(), before);
        sortByFewSteps(actual, [](const Result& r) { return r.step; }, before);
        EXPECT_TRUE(actual == expected);
    }
}

} // namespace
} // namespace vesk
