#include "pane/DesktopOpening.h"

#include "platform/Log.h"
#include "store/VeskStore.h"

#include <QDesktopServices>

namespace vesk {

DesktopOpener systemDesktopOpener()
{
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

bool openOrReport(VeskStore& store, const DesktopOpener& open, const QUrl& url)
{
    if (open && open(url))
        return true;
    veskLog(QStringLiteral("Vesk open error for ") + url.toDisplayString(QUrl::PreferLocalFile)
            + QStringLiteral(": no application opened it"));
    store.reportFailure(QStringLiteral("Not opened"),
                        url.isLocalFile()
                            ? QStringLiteral("Vesk couldn't open this file: no application is set up to open it.")
                            : QStringLiteral("Vesk couldn't open this link: no application is set up to open it."));
    return false;
}

} // namespace vesk
