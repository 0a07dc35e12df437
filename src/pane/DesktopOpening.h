#pragma once
// Opening a file or a link in its default app. A desktop with nothing set up to open it (no
// xdg-open, no handler for the type, no browser) refuses, often only after the opener has started;
// the user is told in the failure notice instead of pressing a button that seems to do nothing.

#include <QString>
#include <QUrl>
#include <functional>

namespace vesk {

class VeskStore;

// Called on the calling thread, later, when an open that had started ends refused; with why.
using OpenRefused = std::function<void(const QString& reason)>;

// Opens a URL in the desktop's default app; false when it is refused at once. An open that starts
// and then fails calls refusedLater instead.
using DesktopOpener = std::function<bool(const QUrl&, OpenRefused refusedLater)>;

// How long xdg-open is given to say that it found nothing to open with.
inline constexpr int kOpenVerdictMs = 5000;

// Runs xdg-open and reads how it ended: QDesktopServices::openUrl answers true as soon as
// xdg-open has started, even when xdg-open then finds nothing to open with. An exit after
// verdictWithinMs is not heard of: xdg-open is then waiting for the application it started.
DesktopOpener systemDesktopOpener(int verdictWithinMs = kOpenVerdictMs);

// Why xdg-open refused, from its exit code; empty for a success.
QString xdgOpenRefusal(const QUrl& url, int exitCode);

// Opens url with open; when it is refused, now or later, says so in the store's failure notice.
// False when it was refused at once.
bool openOrReport(VeskStore& store, const DesktopOpener& open, const QUrl& url);

} // namespace vesk
