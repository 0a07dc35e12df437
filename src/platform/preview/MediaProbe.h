#pragma once

#include <QString>

namespace vesk {

// Whether FFmpeg opens the file and finds an audio or video stream in it: what a player must find
// before it shows anything. Reads the start of the file (much of it, for a file that is no media at
// all), so it is for a worker thread.
bool mediaFileOpens(const QString& path);

} // namespace vesk
