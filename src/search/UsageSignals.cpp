#include "search/UsageSignals.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr qint64 kReferenceEpochSeconds = 978'307'200; // 2001-01-01 00:00:00 UTC

const QString kCountKey = QStringLiteral("selectionCount");
const QString kLastKey = QStringLiteral("lastSelectedAt");

QJsonObject entryObject(const UsageSignal& signal)
{
    QJsonObject entry;
    entry.insert(kCountKey, qint64(signal.selectionCount));
    entry.insert(kLastKey, referenceSeconds(signal.lastSelectedAt));
    return entry;
}

} // namespace

double referenceSeconds(const QDateTime& date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0 - double(kReferenceEpochSeconds);
}

QDateTime fromReferenceSeconds(double seconds)
{
    const double msecs = std::round((seconds + double(kReferenceEpochSeconds)) * 1000.0);
    return QDateTime::fromMSecsSinceEpoch(qint64(msecs), Qt::UTC);
}

UsageSignal recordedUse(const std::optional<UsageSignal>& previous, const QDateTime& now)
{
    UsageSignal signal = previous.value_or(UsageSignal{0, now});
    signal.selectionCount += 1;
    signal.lastSelectedAt = now;
    return signal;
}

double usageScore(const std::optional<UsageSignal>& signal, const QDateTime& now)
{
    if (!signal)
        return 0.0;
    // A count below 1 only comes from damaged stored data; it counts as no use rather than as
    // the logarithm of zero.
    const double count = std::max(0.0, double(signal->selectionCount));
    const double frequency = std::min(1.0, std::log2(count + 1.0) / 5.0);
    double recency = 0.0504;
    if (signal->lastSelectedAt.isValid()) {
        const double age = double(signal->lastSelectedAt.msecsTo(now)) / 1000.0;
        if (age < 86'400.0)
            recency = 0.42;
        else if (age < 604'800.0)
            recency = 0.3024;
        else if (age < 2'592'000.0)
            recency = 0.168;
    }
    return std::min(1.0, frequency * 0.58 + recency);
}

QByteArray encodeUsageSignals(const UsageSignalMap& signalMap)
{
    QJsonObject root;
    for (auto it = signalMap.cbegin(); it != signalMap.cend(); ++it)
        root.insert(it.key(), entryObject(*it));
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

void EncodedUsageSignals::reset(const UsageSignalMap& signalMap)
{
    m_entries.clear();
    m_bytes = 0;
    for (auto it = signalMap.cbegin(); it != signalMap.cend(); ++it)
        set(it.key(), *it);
}

void EncodedUsageSignals::set(const QString& key, const UsageSignal& signal)
{
    // The JSON writer's own text for a document of this entry alone, less its braces: the key
    // escaped and the numbers written as they are in the whole.
    QJsonObject alone;
    alone.insert(key, entryObject(signal));
    const QByteArray document = QJsonDocument(alone).toJson(QJsonDocument::Compact);
    QByteArray& entry = m_entries[key];
    m_bytes += document.size() - 2 - entry.size();
    entry = document.mid(1, document.size() - 2);
}

void EncodedUsageSignals::remove(const QString& key)
{
    const auto found = m_entries.constFind(key);
    if (found == m_entries.cend())
        return;
    m_bytes -= found->size();
    m_entries.erase(found);
}

QByteArray EncodedUsageSignals::json() const
{
    QByteArray json;
    json.reserve(m_bytes + m_entries.size() + 2);
    json += '{';
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (it != m_entries.cbegin())
            json += ',';
        json += *it;
    }
    json += '}';
    return json;
}

std::optional<UsageSignalMap> decodeUsageSignals(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    UsageSignalMap signalMap;
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (!it->isObject())
            return std::nullopt;
        const QJsonObject entry = it->toObject();
        const QJsonValue count = entry.value(kCountKey);
        const QJsonValue last = entry.value(kLastKey);
        if (!count.isDouble() || !last.isDouble())
            return std::nullopt;
        const double countValue = count.toDouble();
        if (countValue != std::floor(countValue) || std::abs(countValue) > 2.0e9)
            return std::nullopt;
        signalMap.insert(it.key(), UsageSignal{int(countValue), fromReferenceSeconds(last.toDouble())});
    }
    return signalMap;
}

} // namespace vesk
