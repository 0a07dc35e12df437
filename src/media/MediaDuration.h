#pragma once

#include <QString>
#include <optional>

namespace vesk {

// The length of a video or audio file in seconds, read from its container; none when the file
// cannot be opened as media or states no finite, non-negative length. Reads the file: call it
// off the main thread.
std::optional<double> mediaDurationSeconds(const QString& path);

} // namespace vesk
