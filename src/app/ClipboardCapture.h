#pragma once
// Capturing what the clipboard holds: the first kind present decides, in this order: files,
// a PNG picture, a TIFF picture, rich text, web content, plain text. Each goes through the
// store's own intake operations, then a "Vesked from Clipboard" notice says what was kept.

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <functional>
#include <optional>

class QMimeData;

namespace vesk {

class VeskStore;

// True when something was taken to be captured (files and pictures are imported afterwards, and
// their notice comes when the import is done). Main thread only.
bool captureClipboard(VeskStore& store, const QMimeData& clipboard);

// Reads the text of a clipboard another program owns, off the main thread; nothing when it
// cannot.
using ClipboardTextReader = std::function<QFuture<std::optional<QString>>()>;
// The reader of the X server the application runs on; none on any other platform.
ClipboardTextReader systemClipboardTextReader();

// Reads the system clipboard. When it holds text and nothing before text in the order above, and
// another program owns it, readText (when given) reads the text, which may be megabytes, while the
// window goes on, and the text is captured once it is read; true then means only that it is
// being read (text that turns out blank captures nothing and says nothing). When readText gives
// nothing, the clipboard is read again on the main thread.
bool captureClipboard(VeskStore& store, const ClipboardTextReader& readText);
bool captureClipboard(VeskStore& store);

// Writes a picture to a temporary "Vesk-Clipboard-<UUID>.<extension>" file, imports it, and
// removes the temporary file once the import is done, whatever happened; imported then hears
// whether the store kept the picture. False when the temporary file could not be written (nothing
// was started and imported is never called).
bool captureClipboardImage(const QByteArray& data, const QString& extension, VeskStore& store,
                           std::function<void(bool)> imported = {});

// The first non-empty line of text (or the whole text), cut to 80 user-perceived characters.
QString clipboardNoticeDetail(QStringView text);

} // namespace vesk
