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

qsizetype graphemeBoundaryAtOrBefore(QStringView text, qsizetype position, qsizetype reach)
{
    position = std::clamp<qsizetype>(position, 0, text.size());
    if (position == 0 || position == text.size())
        return position;
    if (text[position].isLowSurrogate() && text[position - 1].isHighSurrogate())
        --position;
    if (position == 0)
        return position;
    // Between two regional indicators (the halves of flags) only their count from the start of
    // the run tells a boundary from the middle of a flag; no window of the text around can.
    const auto regionalIndicatorAt = [&](qsizetype at) {
        return at >= 0 && at + 1 < text.size() && text[at].isHighSurrogate()
            && QChar::surrogateToUcs4(text[at], text[at + 1]) >= 0x1F1E6
            && QChar::surrogateToUcs4(text[at], text[at + 1]) <= 0x1F1FF;
    };
    if (regionalIndicatorAt(position) && regionalIndicatorAt(position - 2)) {
        qsizetype before = 0;
        for (qsizetype at = position - 2; regionalIndicatorAt(at); at -= 2)
            ++before;
        return before % 2 == 0 ? position : position - 2;
    }
    // The window starts far enough back that its own start is never taken for a boundary: one
    // found there is not trusted, and the plain cut stands.
    qsizetype from = std::max<qsizetype>(0, position - reach);
    if (from > 0 && text[from].isLowSurrogate())
        ++from;
    const qsizetype to = std::min(text.size(), position + reach);
    const QString window = text.sliced(from, to - from).toString();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, window);
    finder.setPosition(int(position - from));
    if (finder.isAtBoundary())
        return position;
    const qsizetype before = finder.toPreviousBoundary();
    if (before > 0 || (before == 0 && from == 0))
        return from + before;
    // Nothing to go back to within reach: at least not inside a surrogate pair, as stepped above.
    return position;
}

QString graphemePrefixWithin(QStringView text, qsizetype maxUnits)
{
    if (maxUnits >= text.size())
        return text.toString();
    if (maxUnits <= 0)
        return QString();
    const qsizetype cut = graphemeBoundaryAtOrBefore(text, maxUnits);
    if (cut > 0)
        return text.left(cut).toString();
    return leftGraphemes(text, 1);
}

} // namespace vesk
