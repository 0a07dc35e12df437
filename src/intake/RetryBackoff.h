#pragma once
// When to try again something that failed and may fail the same way: a second after the first
// failure, then twice as long after each further one, up to a few minutes. A failure met again
// and again then costs a try every few minutes rather than one at every look.

#include <QtGlobal>

namespace vesk {

class RetryBackoff {
public:
    static constexpr qint64 kFirstDelayMs = 1000;
    static constexpr qint64 kLongestDelayMs = 5 * 60 * 1000;

    RetryBackoff() = default;
    RetryBackoff(qint64 firstDelayMs, qint64 longestDelayMs)
        : m_firstDelayMs(firstDelayMs), m_longestDelayMs(longestDelayMs) {}

    // Notes a failure at nowMs; the next try is due after the delay it earns.
    void noteFailure(qint64 nowMs);
    // Back to no failure: the next failure waits the first delay again.
    void reset()
    {
        m_failures = 0;
        m_nextTryMs = 0;
    }

    int failures() const { return m_failures; }
    // Whether a try may be made at nowMs (always, before any failure).
    bool isDue(qint64 nowMs) const { return nowMs >= m_nextTryMs; }
    qint64 nextTryMs() const { return m_nextTryMs; }
    // The delay the failures so far have earned.
    qint64 delayMs() const { return delayAfter(m_failures); }
    // The delay earned by this many failures in a row, for a caller that counts them itself.
    qint64 delayAfter(int failuresInARow) const;

private:
    qint64 m_firstDelayMs = kFirstDelayMs;
    qint64 m_longestDelayMs = kLongestDelayMs;
    int m_failures = 0;
    qint64 m_nextTryMs = 0;
};

} // namespace vesk
