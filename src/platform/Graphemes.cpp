#include "platform/Graphemes.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace vesk {

qsizetype graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString leftGraphemes(QStringView text, qsizetype count)
{
    if (count <= 0)
        return QString();
    // A boundary finder reads all it is given at once, so it is given a beginning of the text,
    // longer only when the characters asked for did not all end inside it (long combining
    // sequences). A boundary before the end of the beginning is one in the whole text too.
    for (qsizetype window = std::max<qsizetype>(64, count * 8);; window *= 4) {
        const bool whole = window >= text.size();
        const QString part = (whole ? text : text.left(window)).toString();
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, part);
        qsizetype seen = 0;
        qsizetype position = 0;
        while (seen < count && position != -1) {
            position = finder.toNextBoundary();
            seen += position == -1 ? 0 : 1;
        }
        if (seen == count && (whole || position < part.size()))
            return part.left(position);
        if (whole)
            return part;
    }
}

} // namespace vesk
