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

QString foldDiacriticsAndWidth(const QString& text)
{
    if (isAsciiText(text))
        return text;
    // Compatibility decomposition turns full-width forms into plain ones and splits accents from
    // their letters; dropping the marks leaves the bare letters. Recomposing afterwards keeps
    // scripts whose letters decompose into parts without marks (Hangul) as they were.
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            folded.append(c);
    }
    return folded.normalized(QString::NormalizationForm_C);
}

} // namespace vesk
