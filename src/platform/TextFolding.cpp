#include "platform/TextFolding.h"

namespace vesk {

bool isAsciiText(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool isBlankText(QStringView text)
{
    for (QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

namespace {

// Compatibility decomposition turns full-width forms into plain ones and splits accents from
// their letters; dropping the marks leaves the bare letters. Recomposing afterwards keeps
// scripts whose letters decompose into parts without marks (Hangul) as they were.
void appendFolded(QStringView run, QString& out)
{
    const QString decomposed = run.toString().normalized(QString::NormalizationForm_KD);
    QString kept;
    kept.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            kept.append(c);
    }
    out.append(kept.normalized(QString::NormalizationForm_C));
}

} // namespace

QString foldDiacriticsAndWidth(const QString& text)
{
    // Only runs of non-ASCII characters can change, and they change alike in any context: an
    // ASCII letter never recomposes with what is left of a run once its marks are gone. Most
    // text is ASCII with a few such runs, which spares decomposing the whole of a long note.
    const QStringView view(text);
    qsizetype i = 0;
    while (i < view.size() && view[i].unicode() < 0x80)
        ++i;
    if (i == view.size())
        return text;
    QString folded;
    folded.reserve(text.size());
    folded.append(view.left(i));
    while (i < view.size()) {
        qsizetype end = i;
        while (end < view.size() && view[end].unicode() >= 0x80)
            ++end;
        appendFolded(view.mid(i, end - i), folded);
        i = end;
        while (end < view.size() && view[end].unicode() < 0x80)
            ++end;
        folded.append(view.mid(i, end - i));
        i = end;
    }
    return folded;
}

} // namespace vesk
