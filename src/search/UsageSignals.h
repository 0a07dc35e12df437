#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QString>

#include <optional>

namespace vesk {

// How often and when an item was last opened.
struct UsageSignal {
    int selectionCount = 0;
    QDateTime lastSelectedAt;

    friend bool operator==(const UsageSignal&, const UsageSignal&) = default;
};

// The user-defaults key the signals are kept under.
inline const QString usageSignalsKey = QStringLiteral("Vesk.UsageSignals.v1");

// Keyed by the item identifier's upper-case text.
using UsageSignalMap = QHash<QString, UsageSignal>;

// The signal after one more use at `now`.
UsageSignal recordedUse(const std::optional<UsageSignal>& previous, const QDateTime& now);

// 0 without a signal; otherwise min(1, frequency × 0.58 + recency), where frequency grows with
// the logarithm of the count and recency falls with the age of the last use.
double usageScore(const std::optional<UsageSignal>& signal, const QDateTime& now);

// The stored JSON form: {"<ID>": {"selectionCount": 2, "lastSelectedAt": <seconds since
// 2001-01-01 UTC>}, ...}. Decoding fails as a whole on anything else.
QByteArray encodeUsageSignals(const UsageSignalMap& signalMap);
std::optional<UsageSignalMap> decodeUsageSignals(const QByteArray& json);

// The stored JSON form kept entry by entry beside the signals, so that a use encodes again the one
// entry it changed instead of those of every item ever opened. Its json() is byte for byte what
// encodeUsageSignals gives for the same signals.
class EncodedUsageSignals {
public:
    void reset(const UsageSignalMap& signalMap);
    void set(const QString& key, const UsageSignal& signal);
    void remove(const QString& key);
    QByteArray json() const;

private:
    // Each entry as it stands in the whole, in the order of the keys there.
    QMap<QString, QByteArray> m_entries;
    qsizetype m_bytes = 0;
};

// Seconds between 2001-01-01 00:00:00 UTC and date, the stored form of dates in JSON states.
double referenceSeconds(const QDateTime& date);
QDateTime fromReferenceSeconds(double seconds);

} // namespace vesk
