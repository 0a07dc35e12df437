#include "richtext/RtfWriter.h"

#include <QHash>
#include <QStringList>
#include <charconv>

namespace vesk {

namespace {

void appendNumber(QByteArray& out, long long value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

void appendEscaped(QByteArray& out, QStringView text)
{
    const char16_t* data = reinterpret_cast<const char16_t*>(text.data());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // Plain ASCII goes out in one piece.
        qsizetype end = i;
        while (end < n && data[end] >= 0x20 && data[end] < 0x80 && data[end] != '\\' && data[end] != '{'
               && data[end] != '}')
            ++end;
        if (end > i) {
            const qsizetype start = out.size();
            out.resize(start + (end - i));
            char* target = out.data() + start;
            for (qsizetype k = i; k < end; ++k)
                *target++ = char(data[k]);
            i = end;
            continue;
        }
        const char16_t c = data[i++];
        switch (c) {
        case '\\': out.append("\\\\"); continue;
        case '{': out.append("\\{"); continue;
        case '}': out.append("\\}"); continue;
        case '\t': out.append("\\tab "); continue;
        case 0x2028: out.append("\\line "); continue;
        default: break;
        }
        if (c < 0x20 || c == 0x7F || c == 0xFFFC)
            continue;
        // \uN takes a signed 16-bit value; \uc0 in the header says no fallback bytes follow.
        out.append("\\u");
        appendNumber(out, static_cast<int16_t>(c));
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
    out.append("\\f");
    appendNumber(out, fontIndex);
    out.append("\\fs");
    appendNumber(out, style.sizeHalfPoints);
    if (style.weight >= 600)
        out.append("\\b");
    // RTF knows only bold or not; other weights (the semibold of headings and glyphs) ride along
    // in a control word that other readers ignore.
    if (style.weight != 400 && style.weight != 700) {
        out.append("\\vskw");
        appendNumber(out, style.weight);
    }
    if (style.italic)
        out.append("\\i");
    if (style.underline)
        out.append("\\ul");
    if (style.baselineHalfPoints > 0) {
        out.append("\\up");
        appendNumber(out, style.baselineHalfPoints);
    } else if (style.baselineHalfPoints < 0) {
        out.append("\\dn");
        appendNumber(out, -style.baselineHalfPoints);
    }
    out.append(' ');
}

QString hrefForField(const QString& href)
{
    QString safe = href;
    safe.replace(QLatin1Char('"'), QLatin1String("%22"));
    return safe;
}

// Font families as the writer names them: index 0 is the system font.
class FontTable {
public:
    explicit FontTable(const QString& systemFamily) : m_systemFamily(systemFamily) {}

    int indexOf(const QString& family)
    {
        if (family.isEmpty() || family == m_systemFamily || family.trimmed().isEmpty())
            return 0;
        if (family == m_lastFamily)
            return m_lastIndex;
        auto it = m_indexes.constFind(family);
        if (it == m_indexes.constEnd()) {
            m_families.append(family);
            it = m_indexes.insert(family, int(m_families.size()));
        }
        m_lastFamily = family;
        m_lastIndex = *it;
        return *it;
    }

    void write(QByteArray& out) const
    {
        out.append("{\\fonttbl{\\f0\\fnil\\fcharset0 ");
        out.append(kSystemFontAlias);
        if (!m_systemFamily.trimmed().isEmpty()) {
            out.append("{\\*\\falt ");
            appendName(out, m_systemFamily);
            out.append('}');
        }
        out.append(";}");
        for (qsizetype i = 0; i < m_families.size(); ++i) {
            out.append("{\\f");
            appendNumber(out, i + 1);
            out.append("\\fnil\\fcharset0 ");
            appendName(out, m_families[i]);
            out.append(";}");
        }
        out.append("}\n");
    }

private:
    static void appendName(QByteArray& out, const QString& name)
    {
        // A semicolon ends a font name, so one inside the name is written as a byte escape.
        QByteArray escaped;
        appendEscaped(escaped, name);
        out.append(escaped.replace(";", "\\'3b"));
    }

    QString m_systemFamily;
    QStringList m_families;
    QHash<QString, int> m_indexes;
    QString m_lastFamily;
    int m_lastIndex = 0;
};

// Two runs that would be written alike: one group holds both.
bool writtenAlike(const RtfRunStyle& a, int fontA, const RtfRunStyle& b, int fontB)
{
    return fontA == fontB && a.sizeHalfPoints == b.sizeHalfPoints && a.weight == b.weight && a.italic == b.italic
        && a.underline == b.underline && a.baselineHalfPoints == b.baselineHalfPoints && a.href == b.href;
}

} // namespace

QByteArray writeRtf(const RtfContent& content, const QString& systemFamily)
{
    FontTable fonts(systemFamily);
    qsizetype estimate = 256;
    for (const RtfParagraph& paragraph : content.paragraphs) {
        estimate += 12;
        for (const RtfRun& run : paragraph.runs) {
            estimate += run.text.size() + 24;
            if (!run.text.isEmpty())
                fonts.indexOf(run.style.fontFamily);
        }
    }

    QByteArray out;
    out.reserve(estimate + 1024);
    out.append("{\\rtf1\\ansi\\ansicpg1252\\uc0\\deff0\n");
    fonts.write(out);

    for (qsizetype p = 0; p < content.paragraphs.size(); ++p) {
        const RtfParagraph& paragraph = content.paragraphs[p];
        if (p > 0)
            out.append("\\par\n");
        out.append("\\pard").append(alignmentWord(paragraph.alignment)).append(' ');
        QString openHref;
        const RtfRunStyle* openStyle = nullptr;
        int openFont = 0;
        for (const RtfRun& run : paragraph.runs) {
            if (run.text.isEmpty())
                continue;
            const int font = fonts.indexOf(run.style.fontFamily);
            if (openStyle && writtenAlike(*openStyle, openFont, run.style, font)) {
                appendEscaped(out, run.text);
                continue;
            }
            if (openStyle)
                out.append('}');
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
            appendRunControls(out, run.style, font);
            appendEscaped(out, run.text);
            openStyle = &run.style;
            openFont = font;
        }
        if (openStyle)
            out.append('}');
        if (!openHref.isEmpty())
            out.append("}}");
    }
    out.append("\n}");
    return out;
}

} // namespace vesk
