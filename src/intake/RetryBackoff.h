#pragma once
// How long to wait before trying again what failed and did not change: a few seconds after the
// first failure, twice as long after each further one in a row, never longer than a few minutes.

#include <QtGlobal>
#include <algorithm>

namespace vesk {

struct RetryBackoff {
    qint64 firstMs = 2000;
    qint64 longestMs = 5 * 60 * 1000;

    // The wait after this many failures in a row (the first is 1).
    qint64 delayMs(int failuresInARow) const
    {
        qint64 delay = firstMs;
        for (int failure = 1; failure < failuresInARow && delay < longestMs; ++failure)
            delay *= 2;
        return std::min(delay, longestMs);
    }
};

} // namespace vesk
