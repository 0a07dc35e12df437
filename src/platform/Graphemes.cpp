#include "platform/Graphemes.h"

#include <QTextBoundaryFinder>

namespace vesk {

qsizetype graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString leftGraphemes(const QString& text, qsizetype count)
{
    if (count <= 0)
        return QString();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    qsizetype position = 0;
    while (seen < count) {
        position = finder.toNextBoundary();
        if (position == -1)
            return text;
        ++seen;
    }
    return text.left(position);
}

} // namespace vesk
