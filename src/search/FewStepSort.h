#pragma once

#include "platform/ParallelWork.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
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
    // Every pass over the values runs on all cores, each thread over pieces of its own, in order.
    constexpr size_t kPieceSize = 8192;
    const size_t pieceCount = (count + kPieceSize - 1) / kPieceSize;
    const auto pieceBegin = [&](size_t piece) { return piece * kPieceSize; };
    const auto pieceEnd = [&](size_t piece) { return std::min(count, (piece + 1) * kPieceSize); };

    // The distinct steps, in small open tables: a look-up per result is the whole cost here.
    constexpr size_t kTableSize = 2048; // a power of two, four times kMostSteps
    struct Cell {
        qint64 step = 0;
        quint32 bucket = 0;
        bool used = false;
    };
    const auto cellIn = [](std::vector<Cell>& table, qint64 step) -> Cell& {
        size_t i = size_t((quint64(step) * 0x9E3779B97F4A7C15ull) >> 53) & (kTableSize - 1);
        while (table[i].used && table[i].step != step)
            i = (i + 1) & (kTableSize - 1);
        return table[i];
    };
    // Lists a step the first time table meets it.
    const auto noteStep = [&](std::vector<Cell>& table, std::vector<qint64>& steps, qint64 step) {
        Cell& cell = cellIn(table, step);
        if (cell.used)
            return;
        cell = {step, 0, true};
        steps.push_back(step);
    };
    std::vector<std::vector<qint64>> pieceSteps(pieceCount);
    std::atomic<bool> manySteps{false};
    forEachInParallel(pieceCount, [&](size_t piece) {
        std::vector<Cell> table(kTableSize);
        std::vector<qint64>& steps = pieceSteps[piece];
        for (size_t i = pieceBegin(piece); i < pieceEnd(piece) && !manySteps.load(std::memory_order_relaxed); ++i) {
            noteStep(table, steps, stepOf(values[i]));
            if (steps.size() > kMostSteps)
                manySteps.store(true, std::memory_order_relaxed);
        }
    });
    std::vector<Cell> table(kTableSize);
    std::vector<qint64> steps;
    for (size_t piece = 0; piece < pieceCount && !manySteps; ++piece) {
        for (const qint64 step : pieceSteps[piece])
            noteStep(table, steps, step);
        if (steps.size() > kMostSteps)
            manySteps = true;
    }
    if (manySteps) {
        sortInParallel(values, less);
        return;
    }
    std::sort(steps.begin(), steps.end(), std::greater<>());
    for (size_t i = 0; i < steps.size(); ++i)
        cellIn(table, steps[i]).bucket = quint32(i);

    // Spread by step, keeping the order they came in: each piece counts its values of each step,
    // and then puts them after those of the pieces before it.
    const size_t bucketCount = steps.size();
    std::vector<quint16> bucketOf(count);
    std::vector<size_t> counts(pieceCount * bucketCount, 0);
    forEachInParallel(pieceCount, [&](size_t piece) {
        size_t* const pieceCounts = counts.data() + piece * bucketCount;
        for (size_t i = pieceBegin(piece); i < pieceEnd(piece); ++i) {
            // Only read: every step is in the table.
            const quint32 bucket = cellIn(table, stepOf(values[i])).bucket;
            bucketOf[i] = quint16(bucket);
            ++pieceCounts[bucket];
        }
    });
    std::vector<size_t> bounds(bucketCount + 1, 0);
    std::vector<size_t> next(pieceCount * bucketCount);
    for (size_t b = 0; b < bucketCount; ++b) {
        size_t at = bounds[b];
        for (size_t piece = 0; piece < pieceCount; ++piece) {
            next[piece * bucketCount + b] = at;
            at += counts[piece * bucketCount + b];
        }
        bounds[b + 1] = at;
    }
    std::vector<Value> spread(count);
    forEachInParallel(pieceCount, [&](size_t piece) {
        size_t* const pieceNext = next.data() + piece * bucketCount;
        for (size_t i = pieceBegin(piece); i < pieceEnd(piece); ++i)
            spread[pieceNext[bucketOf[i]]++] = values[i];
    });

    forEachInParallel(bucketCount, [&](size_t bucket) {
        const auto begin = spread.begin() + qsizetype(bounds[bucket]);
        const auto end = spread.begin() + qsizetype(bounds[bucket + 1]);
        // A step's part usually stands in order already: then it is only read.
        const auto firstOut = std::is_sorted_until(begin, end, less);
        if (firstOut == end)
            return;
        // Whatever does not follow the last value kept is out of place; what is kept is in order
        // and closes up in place behind the first ordered run.
        const size_t size = size_t(end - begin);
        std::vector<Value> misplaced;
        auto keptEnd = firstOut;
        for (auto it = firstOut; it != end; ++it) {
            if (less(*it, *(keptEnd - 1))) {
                misplaced.push_back(*it);
                if (misplaced.size() > size / 8 + 64) {
                    // Every value read so far stands again in the part, in some order.
                    std::copy(misplaced.begin(), misplaced.end(), keptEnd);
                    std::sort(begin, end, less);
                    return;
                }
            } else {
                *keptEnd++ = *it;
            }
        }
        std::sort(misplaced.begin(), misplaced.end(), less);
        std::copy(misplaced.begin(), misplaced.end(), keptEnd);
        std::inplace_merge(begin, keptEnd, end, less);
    });
    values.swap(spread);
}

} // namespace vesk
