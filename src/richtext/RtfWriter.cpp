#include "richtext/RtfWriter.h"

#include <QHash>
#include <QStringList>

namespace vesk {

namespace {

void appendEscaped(QByteArray& out, const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        switch (c) {
        case '\\': out.append("\\\\"); continue;
        case '{': out.append("\\{"); continue;
        case '}': out.append("\\}"); continue;
        case '\t': out.append("\\tab "); continue;
        case 0x2028: out.append("\\line "); continue;
        default: break;
        }
        if (c < 0x20 || c == 0xFFFC)
            continue;
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        // \uN takes a signed 16-bit value; \uc0 in the header says no fallback bytes follow.
        out.append("\\u");
        out.append(QByteArray::number(int(static_cast<int16_t>(c))));
        out.append(' ');
    }
}

const char* alignmentWord(RtfAlignment alignment)
{
    switch (alignment) {
    case RtfAlignment::Left: return "\\ql";
    case RtfAlignment::Center: return "\\qc";
    case RtfAlignment::Right: return "\\qr";
    case RtfAlignment::Justify: return "\\qj";
    case RtfAlignment::Unset: break;
    }
    return "";
}

void appendRunControls(QByteArray& out, const RtfRunStyle& style, int fontIndex)
{
    out.append("\\f").append(QByteArray::number(fontIndex));
    out.append("\\fs").append(QByteArray::number(style.sizeHalfPoints));
    if (style.weight >= 600)
        out.append("\\b");
    // RTF knows only bold or not; other weights (the semibold of headings and glyphs) ride along
    // in a control word that other readers ignore.
    if (style.weight != 400 && style.weight != 700)
        out.append("\\vskw").append(QByteArray::number(style.weight));
    if (style.italic)
        out.append("\\i");
    if (style.underline)
        out.append("\\ul");
    if (style.baselineHalfPoints > 0)
        out.append("\\up").append(QByteArray::number(style.baselineHalfPoints));
    else if (style.baselineHalfPoints < 0)
        out.append("\\dn").append(QByteArray::number(-style.baselineHalfPoints));
    out.append(' ');
}

QString hrefForField(const QString& href)
{
    QString safe = href;
    safe.replace(QLatin1Char('"'), QLatin1String("%22"));
    return safe;
}

} // namespace

namespace {

// Runs as they will be written: the system font named, empty runs gone, and neighbours that would
// be written alike joined, so that writing what was read gives back the same bytes.
RtfContent canonicalContent(const RtfContent& content, const QString& systemFamily)
{
    RtfContent canonical;
    canonical.paragraphs.reserve(content.paragraphs.size());
    for (const RtfParagraph& paragraph : content.paragraphs) {
        RtfParagraph out{paragraph.alignment, {}};
        for (RtfRun run : paragraph.runs) {
            if (run.text.isEmpty())
                continue;
            if (run.style.fontFamily.trimmed().isEmpty())
                run.style.fontFamily = systemFamily;
            if (!out.runs.isEmpty() && out.runs.last().style == run.style)
                out.runs.last().text.append(run.text);
            else
                out.runs.append(std::move(run));
        }
        canonical.paragraphs.append(std::move(out));
    }
    return canonical;
}

} // namespace

QByteArray writeRtf(const RtfContent& original, const QString& systemFamily)
{
    const RtfContent content = canonicalContent(original, systemFamily);
    QStringList families;
    QHash<QString, int> fontIndex;
    auto indexOf = [&](const QString& family) {
        const QString name = family.trimmed().isEmpty() ? systemFamily : family;
        auto it = fontIndex.constFind(name);
        if (it != fontIndex.constEnd())
            return *it;
        const int index = int(families.size());
        families.append(name);
        fontIndex.insert(name, index);
        return index;
    };
    indexOf(QString());
    for (const RtfParagraph& paragraph : content.paragraphs) {
        for (const RtfRun& run : paragraph.runs)
            indexOf(run.style.fontFamily);
    }

    QByteArray out;
    out.append("{\\rtf1\\ansi\\ansicpg1252\\uc0\\deff0\n{\\fonttbl");
    for (qsizetype i = 0; i < families.size(); ++i) {
        out.append("{\\f").append(QByteArray::number(i)).append("\\fnil\\fcharset0 ");
        // A semicolon ends a font name, so one inside the name is written as a byte escape.
        QByteArray name;
        appendEscaped(name, families[i]);
        out.append(name.replace(";", "\\'3b"));
        out.append(";}");
    }
    out.append("}\n");

    for (qsizetype p = 0; p < content.paragraphs.size(); ++p) {
        const RtfParagraph& paragraph = content.paragraphs[p];
        if (p > 0)
            out.append("\\par\n");
        out.append("\\pard").append(alignmentWord(paragraph.alignment)).append(' ');
        QString openHref;
        for (const RtfRun& run : paragraph.runs) {
            if (run.text.isEmpty())
                continue;
            if (run.style.href != openHref) {
                if (!openHref.isEmpty())
                    out.append("}}");
                openHref = run.style.href;
                if (!openHref.isEmpty()) {
                    out.append("{\\field{\\*\\fldinst{HYPERLINK \"");
                    appendEscaped(out, hrefForField(openHref));
                    out.append("\"}}{\\fldrslt ");
                }
            }
            out.append('{');
            appendRunControls(out, run.style, indexOf(run.style.fontFamily));
            appendEscaped(out, run.text);
            out.append('}');
        }
        if (!openHref.isEmpty())
            out.append("}}");
    }
    out.append("\n}");
    return out;
}

} // namespace vesk
