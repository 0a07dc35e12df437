#pragma once
// Cutting a short clip ("moment") out of a video around a point in time, by copying its streams
// into a new container (no re-encoding), so a clip is written at file-copy speed and keeps the
// source's quality. Runs off the main thread; the caller owns the returned file.

#include "platform/Expected.h"

#include <QFuture>
#include <QString>

namespace vesk {

// The part of the source to keep, in seconds.
struct VideoMomentWindow {
    double start = 0;
    double length = 0.1;

    friend bool operator==(const VideoMomentWindow&, const VideoMomentWindow&) = default;
};

// The centre is pulled into [0, duration]; the clip keeps `before` seconds before it and `after`
// seconds after it, within the video, and is never shorter than 0.1 s. An unknown (negative or
// undefined) duration counts as 0.
VideoMomentWindow videoMomentWindow(double duration, double centre, double before, double after);

inline const QString kCouldNotCreateExporter = QStringLiteral("Vesk could not create a video exporter.");
inline const QString kNoSupportedOutputType = QStringLiteral("This video cannot be exported in a supported format.");

// Writes "Vesk-Moment-<UUID>.mov" (or ".mp4" when the streams only fit MPEG-4) into `folder`
// (the temporary folder when empty) and gives its path, or the reason it failed. A failed export
// leaves no file behind. The streams are copied from the key frame at or before the window's
// start, and the container's edit list makes the clip play exactly the window: it opens on the
// picture at the window's start and ends at its end.
Expected<QString, QString> exportVideoMoment(const QString& source, double centre, double before, double after,
                                             const QString& folder = QString());
QFuture<Expected<QString, QString>> exportVideoMomentAsync(const QString& source, double centre, double before,
                                                           double after, const QString& folder = QString());

} // namespace vesk
