#pragma once

#include <QString>

namespace vesk {

// The audio player's labels: whole seconds rounded down, "m:ss" with minutes uncapped ("62:05");
// a negative, infinite or undefined value gives "0:00".
QString formatAudioTime(double seconds);

// The video's playhead: seconds rounded to the nearest (halves away from zero), "m:ss" below an
// hour and "h:mm:ss" from an hour on; a value that is not finite gives "0:00".
QString formatPlaybackTime(double seconds);

} // namespace vesk
