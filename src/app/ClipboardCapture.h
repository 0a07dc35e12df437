#pragma once
// Capturing what the clipboard holds: the first kind present decides, in this order: files,
// a PNG picture, a TIFF picture, rich text, web content, plain text. Each goes through the
// store's own intake operations, then a "Vesked from Clipboard" notice says what was kept.

#include <QByteArray>
#include <QString>
#include <functional>

class QMimeData;

namespace vesk {

class VeskStore;

// True when something was taken to be captured (files and pictures are imported afterwards, and
// their notice comes when the import is done). Main thread only.
bool captureClipboard(VeskStore& store, const QMimeData& clipboard);
// Reads the system clipboard.
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
