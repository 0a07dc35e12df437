#pragma once

#include "platform/ParallelWork.h"

#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace vesk {

// Sorts search results by `less`, a strict total order whose first key is the step stepOf
// gives, highest first; the result is exactly std::sort's.
//
// A one- or two-letter query matches most of a large library, yet its scores take only a few
// distinct steps, and within one step the results mostly stand in the order the index holds
// them (newest first, as the library is read). So the results are first spread by step, keeping
// their order, and each step's part then costs one pass: what already stands in order stays, and
// only the few results out of place (items added since the index was built) are sorted and
// merged in. A step whose part is far from ordered, or results with many distinct steps, are
// sorted outright.
template <typename Value, typename StepOf, typename Less>
void sortByFewSteps(std::vector<Value>& values, StepOf stepOf, Less less)
{
    constexpr size_t kFewestValues = 4096;
    constexpr size_t kMostSteps = 512;
    const size_t count = values.size();
    if (count < kFewestValues) {
        std::sort(values.begin(), values.end(), less);
        return;
    }
    // The distinct steps, in a small open table: a look-up per result is the whole cost here.
    constexpr size_t kTableSize = 2048; // a power of two, four times kMostSteps
    struct Cell {
        qint64 step = 0;
        quint32 bucket = 0;
        bool used = false;
    };
    std::vector<Cell> table(kTableSize);
    const auto cellOf = [&](qint64 step) -> Cell& {
        size_t i = size_t((quint64(step) * 0x9E3779B97F4A7C15ull) >> 53) & (kTableSize - 1);
        while (table[i].used && table[i].step != step)
            i = (i + 1) & (kTableSize - 1);
        return table[i];
    };
    std::vector<qint64> steps;
    for (const Value& value : values) {
        Cell& cell = cellOf(stepOf(value));
        if (cell.used)
            continue;
        cell = {stepOf(value), 0, true};
        steps.push_back(cell.step);
        if (steps.size() > kMostSteps) {
            sortInParallel(values, less);
            return;
        }
    }
    std::sort(steps.begin(), steps.end(), std::greater<>());
    for (size_t i = 0; i < steps.size(); ++i)
        cellOf(steps[i]).bucket = quint32(i);

    // Spread by step, keeping the order they came in.
    std::vector<size_t> bounds(steps.size() + 1, 0);
    std::vector<quint32> bucketOf(count);
    for (size_t i = 0; i < count; ++i) {
        bucketOf[i] = cellOf(stepOf(values[i])).bucket;
        ++bounds[bucketOf[i] + 1];
    }
    for (size_t b = 1; b < bounds.size(); ++b)
        bounds[b] += bounds[b - 1];
    std::vector<Value> spread(count);
    {
        std::vector<size_t> next(bounds.begin(), bounds.end() - 1);
        for (size_t i = 0; i < count; ++i)
            spread[next[bucketOf[i]]++] = values[i];
    }

    forEachInParallel(steps.size(), [&](size_t bucket) {
        const auto begin = spread.begin() + qsizetype(bounds[bucket]);
        const auto end = spread.begin() + qsizetype(bounds[bucket + 1]);
        const size_t size = size_t(end - begin);
        // Whatever does not follow the last value kept is out of place; what is kept is in order.
        std::vector<Value> kept;
        std::vector<Value> misplaced;
        kept.reserve(size);
        for (auto it = begin; it != end; ++it) {
            if (!kept.empty() && less(*it, kept.back()))
                misplaced.push_back(*it);
            else
                kept.push_back(*it);
            if (misplaced.size() > size / 8 + 64) {
                std::sort(begin, end, less);
                return;
            }
        }
        std::sort(misplaced.begin(), misplaced.end(), less);
        std::merge(kept.begin(), kept.end(), misplaced.begin(), misplaced.end(), begin, less);
    });
    values.swap(spread);
}

} // namespace vesk
