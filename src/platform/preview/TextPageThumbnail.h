#pragma once
// A picture of the start of a text file or web page, the way a desktop's thumbnail service shows
// one: a small white page with its first lines. Pure work for a worker thread: no widget, icon
// or pixmap.

#include <QImage>
#include <QSize>
#include <QString>

namespace vesk {

enum class TextPageSource { PlainText, Html };

// The first lines of the file's text (the visible text of a web page) drawn on a page that fits
// inside maxSize; null when the file cannot be read or holds no visible text.
QImage textPageThumbnail(const QString& path, TextPageSource source, QSize maxSize);

// The text a page shows, read from at most the first bytes of the file: plain text as UTF-8 (or
// Latin-1 when it is not), a web page without its markup, scripts and styles.
QString textPageText(const QByteArray& bytes, TextPageSource source);

} // namespace vesk
