#pragma once
// Opening a file or a link in its default app. A desktop with nothing set up to open it (no
// xdg-open, no handler for the type) refuses quietly; the user is told in the failure notice
// instead of pressing a button that seems to do nothing.

#include <QUrl>
#include <functional>

namespace vesk {

class VeskStore;

// Opens a URL in the desktop's default app; false when nothing could.
using DesktopOpener = std::function<bool(const QUrl&)>;

// QDesktopServices::openUrl.
DesktopOpener systemDesktopOpener();

// Opens url with open; when it is refused, says so in the store's failure notice. False then.
bool openOrReport(VeskStore& store, const DesktopOpener& open, const QUrl& url);

} // namespace vesk
