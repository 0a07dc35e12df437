#include "media/MediaTimeFormat.h"

#include <cmath>
#include <limits>

namespace vesk {

namespace {

// Clamps to a range the integer arithmetic below can take; such values never come from a player.
qint64 wholeSeconds(double value)
{
    constexpr double limit = double(std::numeric_limits<qint64>::max() / 2);
    return qint64(std::clamp(value, -limit, limit));
}

QString minutesAndSeconds(qint64 total)
{
    return QString::asprintf("%lld:%02lld", total / 60, total % 60);
}

} // namespace

QString formatAudioTime(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("0:00");
    return minutesAndSeconds(wholeSeconds(std::floor(seconds)));
}

QString formatPlaybackTime(double seconds)
{
    if (!std::isfinite(seconds))
        return QStringLiteral("0:00");
    const qint64 rounded = wholeSeconds(std::round(seconds));
    const qint64 total = std::max<qint64>(rounded, 0);
    if (rounded >= 3600)
        return QString::asprintf("%lld:%02lld:%02lld", total / 3600, (total % 3600) / 60, total % 60);
    return minutesAndSeconds(total);
}

} // namespace vesk
