#include "richtext/RtfReader.h"

#include "richtext/RtfCodePages.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <algorithm>
#include <cstring>

namespace vesk {

namespace {

enum class Destination {
    Body,              // visible text
    Skip,              // anything we do not show
    FontTable,
    FieldInstruction,
};

struct GroupState {
    Destination destination = Destination::Body;
    RtfRunStyle style;
    int fontIndex = -1;
    RtfAlignment alignment = RtfAlignment::Unset;
    int unicodeSkip = 1;  // \ucN: fallback characters that follow each \uN
    int fieldIndex = -1;
};

struct FontEntry {
    QString name;
    int codePage = 0;
};

struct Field {
    QString instruction;
};

constexpr int kMaxKeywordLength = 32;
constexpr int kMaxFieldInstruction = 4096;
constexpr int kMaxFontName = 256;
constexpr int kMaxFonts = 4096;
constexpr int kMaxFields = 100'000;

// Destinations that hold no visible text of the document.
bool isSkippedDestination(const QByteArray& word)
{
    static const char* const kSkipped[] = {
        "colortbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf",
        "footer", "footerl", "footerr", "footerf", "footnote", "listtable", "listoverridetable",
        "revtbl", "rsidtbl", "xmlnstbl", "mmathPr", "generator", "themedata", "colorschememapping",
        "latentstyles", "datastore", "pgdsctbl", "nonshppict", "shppict", "shp", "pn", "pntxta",
        "pntxtb", "bkmkstart", "bkmkend", "filetbl", "annotation", "atnid", "atnauthor", "private",
        "template", "xe", "tc", "objdata", "blipuid", "falt", "panose", "fontemb", "fontfile",
        "expandedcolortbl", "listpicture", "userprops", "docvar", "wgrffmtfilter", "passwordhash",
        "protusertbl", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "formfield"};
    for (const char* name : kSkipped) {
        if (word == name)
            return true;
    }
    return false;
}

class Parser {
public:
    Parser(QByteArrayView input, const RtfReaderLimits& limits) : m_in(input), m_limits(limits)
    {
        m_content.paragraphs.append(RtfParagraph{});
    }

    RtfContent run()
    {
        m_stack.append(GroupState{});  // outside the outermost group
        while (m_pos < m_in.size() && !m_stopped) {
            const char c = m_in[m_pos];
            if (c == '{') {
                ++m_pos;
                openGroup();
            } else if (c == '}') {
                ++m_pos;
                closeGroup();
            } else if (c == '\\') {
                ++m_pos;
                readControl();
            } else if (c == '\r' || c == '\n') {
                ++m_pos;
            } else {
                ++m_pos;
                m_ignorableNext = false;
                if (consumeFallback())
                    continue;
                textByte(static_cast<unsigned char>(c));
            }
        }
        flushBytes();
        if (!m_finished)
            finishParagraph(false);
        if (m_content.paragraphs.isEmpty())
            m_content.paragraphs.append(RtfParagraph{});
        return std::move(m_content);
    }

private:
    GroupState& state() { return m_stack.last(); }

    bool skipping() const { return m_overflowDepth > 0 || m_stack.last().destination == Destination::Skip; }

    void openGroup()
    {
        flushBytes();
        m_pendingFallback = 0;
        if (m_overflowDepth > 0 || m_stack.size() > m_limits.maxGroupDepth) {
            ++m_overflowDepth;
            return;
        }
        m_stack.append(m_stack.last());
        m_ignorableNext = false;
    }

    void closeGroup()
    {
        flushBytes();
        m_pendingFallback = 0;
        m_ignorableNext = false;  // "\*" marks only a control word that follows it in its group
        if (m_overflowDepth > 0) {
            --m_overflowDepth;
            return;
        }
        if (m_stack.size() <= 1) {
            m_stopped = true;  // a stray closing brace: nothing after it belongs to the document
            return;
        }
        if (m_stack.size() == 2) {
            // The document's own group ends: its last paragraph ends with the properties in force.
            finishParagraph(false);
            m_finished = true;
            m_stopped = true;
            return;
        }
        const GroupState closed = m_stack.takeLast();
        if (closed.destination == Destination::FontTable)
            finishFontEntry();
    }

    bool consumeFallback()
    {
        if (m_pendingFallback <= 0)
            return false;
        --m_pendingFallback;
        return true;
    }

    void readControl()
    {
        if (m_pos >= m_in.size())
            return;
        const char c = m_in[m_pos];
        if (!isAsciiLetter(c)) {
            ++m_pos;
            controlSymbol(c);
            return;
        }
        QByteArray word;
        while (m_pos < m_in.size() && isAsciiLetter(m_in[m_pos])) {
            if (word.size() < kMaxKeywordLength)
                word.append(m_in[m_pos]);
            ++m_pos;
        }
        bool hasParam = false;
        bool negative = false;
        long long value = 0;
        if (m_pos < m_in.size() && m_in[m_pos] == '-' && m_pos + 1 < m_in.size() && isDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        while (m_pos < m_in.size() && isDigit(m_in[m_pos])) {
            hasParam = true;
            if (value < 100'000'000'000LL)
                value = value * 10 + (m_in[m_pos] - '0');
            ++m_pos;
        }
        if (m_pos < m_in.size() && m_in[m_pos] == ' ')
            ++m_pos;
        const long long clamped = std::clamp(negative ? -value : value, -2'147'483'647LL, 2'147'483'647LL);
        controlWord(word, hasParam, static_cast<int>(clamped));
    }

    void controlSymbol(char c)
    {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            if (consumeFallback())
                return;
            textByte(static_cast<unsigned char>(c));
            return;
        case '\'': {
            const int hi = m_pos < m_in.size() ? hexValue(m_in[m_pos]) : -1;
            const int lo = m_pos + 1 < m_in.size() ? hexValue(m_in[m_pos + 1]) : -1;
            if (hi < 0 || lo < 0)
                return;
            m_pos += 2;
            if (consumeFallback())
                return;
            textByte(static_cast<unsigned char>(hi * 16 + lo), true);
            return;
        }
        case '*':
            m_ignorableNext = true;
            return;
        case '~':
            if (!consumeFallback())
                emitChar(QChar(0x00A0));
            return;
        case '_':
            if (!consumeFallback())
                emitChar(QChar(0x2011));
            return;
        case '\r':
        case '\n':
            paragraphBreak();
            return;
        case '\t':
            emitChar(QChar('\t'));
            return;
        default:
            // \- (optional hyphen), \: (index entry), \| (formula) and unknown symbols show nothing.
            consumeFallback();
            return;
        }
    }

    void controlWord(const QByteArray& word, bool hasParam, int param)
    {
        const bool ignorable = m_ignorableNext;
        m_ignorableNext = false;

        if (word == "bin") {
            flushBytes();
            const qsizetype skip = hasParam && param > 0 ? std::min<qsizetype>(param, m_in.size() - m_pos) : 0;
            m_pos += skip;
            return;
        }

        if (m_overflowDepth > 0)
            return;

        // Destinations.
        if (word == "fonttbl") {
            state().destination = Destination::FontTable;
            m_fontEntryIndex = -1;
            m_fontName.clear();
            return;
        }
        if (word == "field") {
            if (state().destination == Destination::Body) {
                if (m_fields.size() < kMaxFields) {
                    m_fields.append(Field{});
                    state().fieldIndex = int(m_fields.size()) - 1;
                } else {
                    state().fieldIndex = -1;
                }
            }
            return;
        }
        if (word == "fldinst") {
            flushBytes();
            if (state().destination == Destination::Body && state().fieldIndex >= 0)
                state().destination = Destination::FieldInstruction;
            else
                state().destination = Destination::Skip;
            return;
        }
        if (word == "fldrslt") {
            flushBytes();
            // Also when the instruction had no group of its own and this result sits inside it.
            const Destination d = state().destination;
            if ((d == Destination::Body || d == Destination::FieldInstruction) && state().fieldIndex >= 0) {
                state().destination = Destination::Body;
                const QString href = hyperlinkFromFieldInstruction(m_fields[state().fieldIndex].instruction);
                if (!href.isEmpty())
                    state().style.href = href;
            }
            return;
        }
        if (word == "listtext" || word == "pntext")
            return;  // the visible marker of a foreign list: shown as text
        if (isSkippedDestination(word) || ignorable) {
            flushBytes();
            state().destination = Destination::Skip;
            return;
        }

        if (skipping())
            return;
        if (word == "uc") {
            state().unicodeSkip = hasParam ? std::clamp(param, 0, 16) : 1;
            return;
        }
        if (word == "u") {
            unicodeChar(param);
            return;
        }
        if (state().destination == Destination::FontTable) {
            fontTableWord(word, hasParam, param);
            return;
        }
        if (skipping())
            return;

        // Document-wide settings.
        if (word == "ansicpg") {
            flushBytes();
            m_documentCodePage = hasParam ? param : m_documentCodePage;
            return;
        }
        if (word == "mac") {
            m_documentCodePage = 10000;
            return;
        }
        if (word == "deff") {
            m_defaultFont = hasParam ? param : 0;
            return;
        }

        // Character formatting.
        RtfRunStyle& style = state().style;
        const bool on = !hasParam || param != 0;
        if (word == "plain") {
            flushBytes();
            const QString href = style.href;
            style = RtfRunStyle{};
            style.href = href;
            setFont(m_defaultFont);
        } else if (word == "f") {
            flushBytes();
            setFont(hasParam ? param : m_defaultFont);
        } else if (word == "fs") {
            if (hasParam && param > 0)
                style.sizeHalfPoints = std::clamp(param, 2, 2000);
        } else if (word == "b") {
            style.weight = on ? 700 : 400;
        } else if (word == "vskw") {
            if (hasParam)
                style.weight = std::clamp(param, 1, 1000);
        } else if (word == "i") {
            style.italic = on;
        } else if (word == "ul" || word == "uld" || word == "uldash" || word == "uldashd" || word == "uldashdd"
                   || word == "uldb" || word == "ulth" || word == "ulw" || word == "ulwave" || word == "ulhwave"
                   || word == "ulldash" || word == "ulthd" || word == "ulthdash") {
            style.underline = on;
        } else if (word == "ulnone") {
            style.underline = false;
        } else if (word == "up") {
            style.baselineHalfPoints = std::clamp(hasParam ? param : 6, -2000, 2000);
        } else if (word == "dn") {
            style.baselineHalfPoints = -std::clamp(hasParam ? param : 6, -2000, 2000);
        }
        // Paragraph formatting.
        else if (word == "pard") {
            state().alignment = RtfAlignment::Unset;
        } else if (word == "ql") {
            state().alignment = RtfAlignment::Left;
        } else if (word == "qc") {
            state().alignment = RtfAlignment::Center;
        } else if (word == "qr") {
            state().alignment = RtfAlignment::Right;
        } else if (word == "qj" || word == "qd") {
            state().alignment = RtfAlignment::Justify;
        }
        // Special characters and breaks.
        else if (word == "par" || word == "line" || word == "sect" || word == "page") {
            paragraphBreak();
        } else if (word == "row") {
            paragraphBreak(true);
        } else if (word == "tab" || word == "cell" || word == "nestcell") {
            emitSpecial(u'\t');
        } else if (word == "emdash") {
            emitSpecial(u'\u2014');
        } else if (word == "endash") {
            emitSpecial(u'\u2013');
        } else if (word == "emspace") {
            emitSpecial(u'\u2003');
        } else if (word == "enspace") {
            emitSpecial(u'\u2002');
        } else if (word == "qmspace") {
            emitSpecial(u'\u2005');
        } else if (word == "bullet") {
            emitSpecial(u'\u2022');
        } else if (word == "lquote") {
            emitSpecial(u'\u2018');
        } else if (word == "rquote") {
            emitSpecial(u'\u2019');
        } else if (word == "ldblquote") {
            emitSpecial(u'\u201C');
        } else if (word == "rdblquote") {
            emitSpecial(u'\u201D');
        }
        // Every other control word (colours, spacing, sections, ...) changes nothing we keep.
    }

    void emitSpecial(char16_t c)
    {
        if (consumeFallback())
            return;
        emitChar(QChar(c));
    }

    void fontTableWord(const QByteArray& word, bool hasParam, int param)
    {
        if (word == "f") {
            finishFontEntry();
            m_fontEntryIndex = hasParam ? param : -1;
            m_fontName.clear();
            m_fontCodePage = 0;
        } else if (word == "fcharset") {
            m_fontCodePage = codePageForRtfCharset(param);
        } else if (word == "cpg") {
            m_fontCodePage = param;
        }
    }

    void appendFontNameChar(QChar c)
    {
        if (m_fontEntryIndex >= 0 && m_fontName.size() < kMaxFontName && c.category() != QChar::Other_Control)
            m_fontName.append(c);
    }

    void finishFontEntry()
    {
        if (m_fontEntryIndex >= 0 && m_fonts.size() < kMaxFonts && !m_fonts.contains(m_fontEntryIndex)) {
            QString name = m_fontName.trimmed();
            if (name.endsWith(QLatin1Char(';')))
                name.chop(1);
            m_fonts.insert(m_fontEntryIndex, FontEntry{name.trimmed(), m_fontCodePage});
        }
        m_fontEntryIndex = -1;
        m_fontName.clear();
        m_fontCodePage = 0;
    }

    void setFont(int index)
    {
        state().fontIndex = index;
        const auto it = m_fonts.constFind(index);
        QString family = it == m_fonts.constEnd() ? QString() : it->name;
        // Names beginning with a full stop are private system-font aliases of other platforms.
        if (family.startsWith(QLatin1Char('.')))
            family.clear();
        state().style.fontFamily = family;
    }

    int currentCodePage() const
    {
        const auto it = m_fonts.constFind(m_stack.last().fontIndex);
        if (it != m_fonts.constEnd() && it->codePage != 0)
            return it->codePage;
        return m_documentCodePage;
    }

    void textByte(unsigned char b, bool escaped = false)
    {
        const Destination d = state().destination;
        if (skipping())
            return;
        if (d == Destination::FontTable) {
            appendFontNameChar(QChar(b));
            if (b == ';' && !escaped)
                finishFontEntry();
            return;
        }
        if (b >= 0x80) {
            if (m_bytes.size() < 64 * 1024)
                m_bytes.append(char(b));
            return;
        }
        flushBytes();
        emitChar(QChar(b));
    }

    void flushBytes()
    {
        if (m_bytes.isEmpty())
            return;
        const QString text = decodeCodePage(m_bytes, currentCodePage());
        m_bytes.clear();
        for (QChar c : text)
            emitChar(c);
    }

    void unicodeChar(int value)
    {
        flushBytes();
        const int unit = value < 0 ? value + 65536 : value;
        if (unit >= 0 && unit <= 0xFFFF)
            emitChar(QChar(char16_t(unit)));
        m_pendingFallback = state().unicodeSkip;
    }

    // Every visible character passes here: surrogates are paired, control characters dropped.
    void emitChar(QChar c)
    {
        if (skipping())
            return;
        const char16_t u = c.unicode();
        if (m_highSurrogate) {
            const char16_t high = m_highSurrogate;
            m_highSurrogate = 0;
            if (QChar::isLowSurrogate(u)) {
                appendText(QChar(high));
                appendText(c);
                return;
            }
            appendText(QChar(0xFFFD));
        }
        if (QChar::isHighSurrogate(u)) {
            m_highSurrogate = u;
            return;
        }
        if (QChar::isLowSurrogate(u)) {
            appendText(QChar(0xFFFD));
            return;
        }
        if (u == 0x2028 || u == 0x2029) {
            paragraphBreak();
            return;
        }
        if ((u < 0x20 && u != '\t') || u == 0x7F || u == 0xFFFC || u == 0xFEFF)
            return;
        appendText(c);
    }

    void appendText(QChar c)
    {
        GroupState& s = state();
        if (s.destination == Destination::FieldInstruction) {
            if (s.fieldIndex >= 0 && m_fields[s.fieldIndex].instruction.size() < kMaxFieldInstruction)
                m_fields[s.fieldIndex].instruction.append(c);
            return;
        }
        if (s.destination == Destination::FontTable) {
            appendFontNameChar(c);
            return;
        }
        if (s.destination != Destination::Body)
            return;
        if (m_textLength >= m_limits.maxTextLength) {
            m_stopped = true;
            return;
        }
        QList<RtfRun>& runs = m_content.paragraphs.last().runs;
        if (runs.isEmpty() || !(runs.last().style == s.style)) {
            if (m_runCount >= m_limits.maxRuns) {
                m_stopped = true;
                return;
            }
            ++m_runCount;
            runs.append(RtfRun{QString(), s.style});
        }
        runs.last().text.append(c);
        ++m_textLength;
    }

    void paragraphBreak(bool endOfRow = false)
    {
        flushBytes();
        if (consumeFallback() || skipping())
            return;
        const Destination d = state().destination;
        if (d == Destination::FieldInstruction) {
            appendText(QChar(' '));
            return;
        }
        if (d != Destination::Body)
            return;
        if (endOfRow) {
            // A table row ends with its last cell's separator: drop that tab.
            QList<RtfRun>& runs = m_content.paragraphs.last().runs;
            if (!runs.isEmpty() && runs.last().text.endsWith(QLatin1Char('\t'))) {
                runs.last().text.chop(1);
                --m_textLength;
                if (runs.last().text.isEmpty())
                    runs.removeLast();
            }
        }
        finishParagraph(true);
    }

    void finishParagraph(bool startNext)
    {
        if (m_highSurrogate) {
            m_highSurrogate = 0;
            appendText(QChar(0xFFFD));
        }
        m_content.paragraphs.last().alignment = m_stack.isEmpty() ? RtfAlignment::Unset : state().alignment;
        if (!startNext)
            return;
        if (m_content.paragraphs.size() >= m_limits.maxParagraphs || m_textLength >= m_limits.maxTextLength) {
            m_stopped = true;
            return;
        }
        m_content.paragraphs.append(RtfParagraph{});
        ++m_textLength;  // the line break counts toward the text bound
    }

    static bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    QByteArrayView m_in;
    RtfReaderLimits m_limits;
    qsizetype m_pos = 0;
    bool m_stopped = false;
    bool m_finished = false;
    QList<GroupState> m_stack;
    int m_overflowDepth = 0;
    bool m_ignorableNext = false;
    int m_pendingFallback = 0;
    char16_t m_highSurrogate = 0;
    QByteArray m_bytes;
    int m_documentCodePage = 1252;
    int m_defaultFont = 0;
    QHash<int, FontEntry> m_fonts;
    int m_fontEntryIndex = -1;
    QString m_fontName;
    int m_fontCodePage = 0;
    QList<Field> m_fields;
    RtfContent m_content;
    qsizetype m_textLength = 0;
    qsizetype m_runCount = 0;
};

} // namespace

QString RtfContent::plainText() const
{
    QString text;
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            text.append(QLatin1Char('\n'));
        for (const RtfRun& run : paragraphs[i].runs)
            text.append(run.text);
    }
    return text;
}

std::optional<RtfContent> parseRtf(QByteArrayView bytes, const RtfReaderLimits& limits)
{
    qsizetype start = 0;
    while (start < bytes.size() && (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r'
                                    || bytes[start] == '\n'))
        ++start;
    const QByteArrayView rest = bytes.sliced(start);
    if (!rest.startsWith(QByteArrayView("{\\rtf")))
        return std::nullopt;
    return Parser(rest, limits).run();
}

QString hyperlinkFromFieldInstruction(const QString& instruction)
{
    const QString text = instruction.trimmed();
    if (!text.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
        return {};
    qsizetype i = 9;
    const qsizetype n = text.size();
    auto skipSpaces = [&] {
        while (i < n && text[i].isSpace())
            ++i;
    };
    auto readToken = [&]() -> QString {
        skipSpaces();
        if (i >= n)
            return {};
        if (text[i] == QLatin1Char('"')) {
            const qsizetype end = text.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype stop = end < 0 ? n : end;
            QString token = text.mid(i + 1, stop - i - 1);
            i = end < 0 ? n : end + 1;
            return token;
        }
        const qsizetype begin = i;
        while (i < n && !text[i].isSpace())
            ++i;
        return text.mid(begin, i - begin);
    };
    while (i < n) {
        skipSpaces();
        if (i >= n)
            break;
        if (text[i] == QLatin1Char('\\')) {
            // A switch: \l, \o, \t and \m take an argument; \h and \n take none.
            const QChar sw = i + 1 < n ? text[i + 1].toLower() : QChar();
            i += 2;
            if (sw == QLatin1Char('l') || sw == QLatin1Char('o') || sw == QLatin1Char('t') || sw == QLatin1Char('m'))
                readToken();
            continue;
        }
        return readToken().trimmed();
    }
    return {};
}

} // namespace vesk
