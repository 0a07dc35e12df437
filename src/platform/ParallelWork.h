#pragma once

#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <vector>

namespace vesk {

// Calls work(begin, end) over [0, count) in chunks on the global pool and returns when all are
// done; a count of one chunk or less runs on the calling thread.
template <typename Work>
void forChunksInParallel(size_t count, Work&& work, size_t chunk = 4096)
{
    if (count <= chunk) {
        work(size_t(0), count);
        return;
    }
    std::vector<size_t> starts;
    for (size_t begin = 0; begin < count; begin += chunk)
        starts.push_back(begin);
    QtConcurrent::blockingMap(starts, [&](size_t begin) { work(begin, std::min(count, begin + chunk)); });
}

// std::sort on all cores: pieces are sorted at once, then merged pairwise. With a strict total
// order the result is exactly std::sort's.
template <typename Value, typename Less>
void sortInParallel(std::vector<Value>& values, Less less)
{
    constexpr size_t kSmallestPiece = 8192;
    const size_t count = values.size();
    const size_t pieces = std::min<size_t>(size_t(std::max(1, QThread::idealThreadCount())), count / kSmallestPiece);
    if (pieces <= 1) {
        std::sort(values.begin(), values.end(), less);
        return;
    }
    std::vector<size_t> bounds;
    for (size_t i = 0; i <= pieces; ++i)
        bounds.push_back(count * i / pieces);
    std::vector<size_t> numbers;
    for (size_t i = 0; i < pieces; ++i)
        numbers.push_back(i);
    QtConcurrent::blockingMap(numbers, [&](size_t i) {
        std::sort(values.begin() + qsizetype(bounds[i]), values.begin() + qsizetype(bounds[i + 1]), less);
    });
    while (bounds.size() > 2) {
        std::vector<size_t> pairs;
        for (size_t i = 0; i + 2 < bounds.size(); i += 2)
            pairs.push_back(i);
        QtConcurrent::blockingMap(pairs, [&](size_t i) {
            std::inplace_merge(values.begin() + qsizetype(bounds[i]), values.begin() + qsizetype(bounds[i + 1]),
                values.begin() + qsizetype(bounds[i + 2]), less);
        });
        std::vector<size_t> merged;
        for (size_t i = 0; i < bounds.size(); i += 2)
            merged.push_back(bounds[i]);
        if (merged.back() != bounds.back())
            merged.push_back(bounds.back());
        bounds.swap(merged);
    }
}

} // namespace vesk
