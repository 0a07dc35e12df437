#pragma once

#include <QDateTime>

namespace vesk {

// The time source of the store and its tasks; tests move a FakeClock instead of sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    // Always UTC.
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC))
        : m_now(start.toUTC()) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& time) { m_now = time.toUTC(); }
    void advance(double seconds) { m_now = m_now.addMSecs(qint64(seconds * 1000.0)); }

private:
    QDateTime m_now;
};

} // namespace vesk
