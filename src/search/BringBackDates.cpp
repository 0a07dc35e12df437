#include "search/BringBackDates.h"

#include "platform/Uuid.h"
#include "search/UsageSignals.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace vesk {

namespace {

// About 3,000 years either side of 2001: far beyond any reminder, well inside what a date holds.
constexpr double kLargestReferenceSeconds = 1e11;

} // namespace

QByteArray encodeBringBackDates(const BringBackDateMap& dates)
{
    QJsonObject object;
    for (auto it = dates.cbegin(); it != dates.cend(); ++it)
        object.insert(uuidString(it.key()), referenceSeconds(it.value()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

BringBackDateMap decodeBringBackDates(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return {};
    const QJsonObject object = document.object();
    BringBackDateMap dates;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const double seconds = it.value().toDouble(std::nan(""));
        if (!it.value().isDouble() || !std::isfinite(seconds) || std::abs(seconds) > kLargestReferenceSeconds)
            return {};
        if (const auto id = parseUuid(it.key()))
            dates.insert(*id, fromReferenceSeconds(seconds));
    }
    return dates;
}

std::optional<QDateTime> nextBringBackDate(const BringBackDateMap& dates)
{
    std::optional<QDateTime> earliest;
    for (const QDateTime& date : dates) {
        if (!earliest || date < *earliest)
            earliest = date;
    }
    return earliest;
}

} // namespace vesk
