#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace vesk {

// A notice's text broken into the lines it is drawn in: at word boundaries where it can, inside a
// word (a long path, a link) where a word is wider than the line, and never wider than width. With
// maxLines, the last line allowed ends in "…" when the text goes on.
QStringList noticeLines(const QFont& font, const QString& text, qreal width, int maxLines = 0);

} // namespace vesk
