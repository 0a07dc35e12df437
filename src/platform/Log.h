#pragma once

#include <QString>
#include <functional>

namespace vesk {

// Writes one line to standard error (journald keeps it when run from a desktop session).
void veskLog(const QString& line);

// Tests install a capture to read what was logged; passing an empty function restores stderr.
// While a capture is installed nothing is written to stderr.
using LogCapture = std::function<void(const QString&)>;
void setVeskLogCapture(LogCapture capture);

} // namespace vesk
