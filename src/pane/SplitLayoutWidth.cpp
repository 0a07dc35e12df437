#include "pane/SplitLayoutWidth.h"

#include <algorithm>
#include <cmath>

namespace vesk::PreviewPaneWidth {

double clamped(double width)
{
    if (!std::isfinite(width))
        return kDefault;
    return std::min(std::max(width, kMinimum), kMaximum);
}

double effective(double storedWidth, double dragTranslation)
{
    return clamped(storedWidth - dragTranslation);
}

double committed(double storedWidth, double translation)
{
    return clamped(storedWidth - translation);
}

double shown(double width, double splitWidth)
{
    const double room = splitWidth - kHandleWidth - kLibraryMinimum;
    return std::max(kMinimum, std::min(width, room));
}

double fromSetting(const QVariant& value)
{
    bool ok = false;
    const double width = value.toDouble(&ok);
    return ok && std::isfinite(width) ? width : kDefault;
}

} // namespace vesk::PreviewPaneWidth
