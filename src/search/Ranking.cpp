#include "search/Ranking.h"

#include "model/VeskItem.h"

#include <cmath>

namespace vesk {

namespace {

// Age bands in seconds. A result's bonus is its weight times the band's factor; the ranking's
// steps are lifted enough that the product's last binary digit never moves a score a step.
constexpr double kDay = 86'400.0;
constexpr double kWeek = 604'800.0;
constexpr double kMonth = 2'592'000.0;
constexpr double kFourMonths = 10'368'000.0;

int ageBand(double age)
{
    if (age < kDay)
        return 0;
    if (age < kWeek)
        return 1;
    if (age < kMonth)
        return 2;
    if (age < kFourMonths)
        return 3;
    return 4;
}

// By age band: under a day, 7 days, 30 days, 120 days, older.
constexpr double kRecencyFactors[] = {1.0, 0.74, 0.48, 0.24, 0.08};

int ageBand(const QDateTime& createdAt, const QDateTime& now)
{
    if (!createdAt.isValid() || !now.isValid())
        return 4;
    return ageBand(double(createdAt.msecsTo(now)) / 1000.0);
}

} // namespace

double recencyFactor(const QDateTime& createdAt, const QDateTime& now)
{
    return kRecencyFactors[ageBand(createdAt, now)];
}

double recencyFactor(qint64 createdAtMs, qint64 nowMs)
{
    if (createdAtMs == std::numeric_limits<qint64>::min())
        return kRecencyFactors[4];
    return kRecencyFactors[ageBand(double(nowMs - createdAtMs) / 1000.0)];
}

double recencyBonus(const QDateTime& createdAt, const QDateTime& now)
{
    return kResultRecencyWeight * recencyFactor(createdAt, now);
}

double recencyBonus(qint64 createdAtMs, qint64 nowMs)
{
    return kResultRecencyWeight * recencyFactor(createdAtMs, nowMs);
}

qint64 rankingStep(double score)
{
    if (std::isnan(score))
        return std::numeric_limits<qint64>::min();
    // The small lift keeps decimal scores such as 0.3 from falling a step through rounding.
    const double step = std::floor(score * 10'000.0 + 1e-6);
    if (step >= 9.0e18)
        return std::numeric_limits<qint64>::max();
    if (step <= -9.0e18)
        return std::numeric_limits<qint64>::min() + 1;
    return qint64(step);
}

void sortItemsNewestFirst(QList<VeskItem>& items)
{
    std::stable_sort(items.begin(), items.end(), [](const VeskItem& a, const VeskItem& b) {
        return rankingTime(a.createdAt) > rankingTime(b.createdAt);
    });
}

QList<VeskItem> defaultOrder(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs)
{
    QList<VeskItem> back;
    QList<VeskItem> rest;
    rest.reserve(items.size());
    for (const VeskItem& item : items)
        (broughtBackIDs.contains(item.id) ? back : rest).append(item);
    sortItemsNewestFirst(back);
    sortItemsNewestFirst(rest);
    back.append(rest);
    return back;
}

void sortRankedItems(QList<std::pair<VeskItem, double>>& ranked)
{
    std::stable_sort(ranked.begin(), ranked.end(),
        [](const std::pair<VeskItem, double>& a, const std::pair<VeskItem, double>& b) {
            return rankedBefore(a.second, rankingTime(a.first.createdAt), b.second,
                rankingTime(b.first.createdAt));
        });
}

} // namespace vesk
