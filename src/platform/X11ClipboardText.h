#pragma once
// The X11 clipboard's text, read through a display connection of its own so that the read can run
// on a worker. Qt reads the clipboard on the main thread, in one turn of its event loop: megabytes
// of text come from the program that owns the clipboard in pieces, one round trip each, and are
// then turned into UTF-16, all while the window waits.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

namespace vesk {

// The X display the application runs on; nothing on any other platform (Wayland, offscreen).
// Main thread only.
std::optional<QByteArray> x11DisplayName();

// The CLIPBOARD selection converted to UTF8_STRING, decoded. Nothing when the display cannot be
// opened, no program owns the clipboard, the owner offers no UTF-8 text, or the owner stops
// answering for `patience` (between two pieces of a long text). Any thread; blocks meanwhile.
std::optional<QString> readX11ClipboardText(const QByteArray& display,
                                            std::chrono::milliseconds patience = std::chrono::seconds(5));

} // namespace vesk
