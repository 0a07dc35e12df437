#pragma once
// What a drop onto the main window becomes: each dragged thing is handed to exactly one intake
// operation, trying a local file first, then HTML, then a link, then plain text.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

class QMimeData;

namespace vesk {

struct DropAction {
    enum class Kind { ImportFile, AddHTML, AddLink, AddText };
    Kind kind = Kind::AddText;
    QString filePath;  // ImportFile: the local path as text
    QByteArray nativePath; // ImportFile: the same path as the file system's bytes
    QByteArray html;   // AddHTML: UTF-8
    QUrl url;          // AddLink
    QString text;      // AddText

    friend bool operator==(const DropAction&, const DropAction&) = default;
};

// The intake actions for a drop, in order; empty when nothing usable was dropped.
// - Local files (text/uri-list): one import each. A file manager also offers the paths as text;
//   the files win, and any web addresses in the same list become links.
// - Otherwise HTML with some text in it (a browser drag offers HTML, a URL and text together; the
//   HTML keeps the most).
// - Otherwise each web address becomes a link.
// - Otherwise non-blank plain text becomes a text item (the store makes a lone address a link).
QList<DropAction> dropActionsFor(const QMimeData& mime);

// The path of a local file URL as the file system's bytes. A file manager percent-encodes a name
// in another encoding byte by byte; decoding that as UTF-8 text would lose it.
QByteArray localPathBytes(const QUrl& url);

// The MIME types the window accepts a drag for.
bool dropIsAcceptable(const QMimeData& mime);

// Browsers on X11 hand text/html over as UTF-16 (with or without a byte-order mark); everything
// else is UTF-8. Returns the text.
QString decodeDroppedHtml(const QByteArray& bytes);

} // namespace vesk
