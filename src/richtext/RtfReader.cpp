#include "richtext/RtfReader.h"

#include "richtext/RtfCodePages.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <algorithm>
#include <string_view>
#include <unordered_map>

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
    bool hidden = false;  // \v hidden text and \deleted revisions: read, never shown
    int sizeBeforeShift = 0;  // under \super or \sub, the size to return to; 0 when not shifted
};

struct FontEntry {
    QString name;
    int codePage = 0;
};

struct Field {
    QString instruction;
};

// 8-bit text waiting to be decoded: the bytes of one stretch of text under one code page. In a
// double-byte code page a lead byte claims the byte after it, even one in the ASCII range.
class PendingBytes {
public:
    // Whether the byte joins the pending text (a byte above ASCII, or the trail of a pending lead).
    bool take(unsigned char byte, int codePage)
    {
        if (m_leadPending) {
            m_leadPending = false;
            if (isTrailByte(codePage, byte)) {
                m_bytes.append(char(byte));
                return true;
            }
        }
        if (byte < 0x80)
            return false;
        m_bytes.append(char(byte));
        m_leadPending = isLeadByte(codePage, byte);
        return true;
    }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    // Between two characters, where the text may be decoded without splitting one.
    bool atCharacterBoundary() const { return !m_leadPending; }
    qsizetype size() const { return m_bytes.size(); }
    QString decode(int codePage)
    {
        QString text = decodeCodePage(m_bytes, codePage);
        m_bytes.clear();
        m_leadPending = false;
        return text;
    }

private:
    QByteArray m_bytes;
    bool m_leadPending = false;
};

constexpr int kMaxKeywordLength = 32;
constexpr int kMaxFontName = 256;
constexpr int kMaxFonts = 4096;
constexpr int kMaxFields = 100'000;
// Pending bytes are decoded in pieces of about this size, so a long stretch costs no more memory.
constexpr qsizetype kPendingBytesChunk = 16 * 1024;

enum class Keyword {
    Other,
    Bin,
    FontTable,
    Field,
    FieldInstruction,
    FieldResult,
    ListText,
    SkippedDestination,
    UnicodeSkip,
    Unicode,
    Font,
    FontCharset,
    FontCodePage,
    AnsiCodePage,
    Mac,
    DefaultFont,
    Plain,
    FontSize,
    Bold,
    Weight,
    Italic,
    Underline,
    UnderlineNone,
    Up,
    Down,
    Super,
    Sub,
    NoSuperSub,
    Hidden,
    Pard,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    ParagraphBreak,
    Row,
    Special,  // a character of its own
};

struct KeywordInfo {
    Keyword keyword = Keyword::Other;
    char16_t character = 0;
};

// One look-up per control word, whatever the number of words we know.
KeywordInfo lookUpKeyword(std::string_view word)
{
    static const std::unordered_map<std::string_view, KeywordInfo> table = [] {
        std::unordered_map<std::string_view, KeywordInfo> words;
        // Destinations that hold no visible text of the document.
        for (const char* name :
             {"colortbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf", "footer",
              "footerl", "footerr", "footerf", "footnote", "listtable", "listoverridetable", "revtbl", "rsidtbl",
              "xmlnstbl", "mmathPr", "generator", "themedata", "colorschememapping", "latentstyles", "datastore",
              "pgdsctbl", "nonshppict", "shppict", "shp", "pn", "pntxta", "pntxtb", "bkmkstart", "bkmkend", "filetbl",
              "annotation", "atnid", "atnauthor", "private", "template", "xe", "tc", "objdata", "blipuid", "falt",
              "panose", "fontemb", "fontfile", "expandedcolortbl", "listpicture", "userprops", "docvar",
              "wgrffmtfilter", "passwordhash", "protusertbl", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc",
              "aftncn", "formfield"})
            words[name] = {Keyword::SkippedDestination};
        for (const char* name : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulth", "ulw", "ulwave",
                                 "ulhwave", "ulldash", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash",
                                 "ululdbwave"})
            words[name] = {Keyword::Underline};
        const std::pair<const char*, Keyword> plain[] = {
            {"bin", Keyword::Bin}, {"fonttbl", Keyword::FontTable}, {"field", Keyword::Field},
            {"fldinst", Keyword::FieldInstruction}, {"fldrslt", Keyword::FieldResult}, {"listtext", Keyword::ListText},
            {"pntext", Keyword::ListText}, {"uc", Keyword::UnicodeSkip}, {"u", Keyword::Unicode}, {"f", Keyword::Font},
            {"fcharset", Keyword::FontCharset}, {"cpg", Keyword::FontCodePage}, {"ansicpg", Keyword::AnsiCodePage},
            {"mac", Keyword::Mac}, {"deff", Keyword::DefaultFont}, {"plain", Keyword::Plain}, {"fs", Keyword::FontSize},
            {"b", Keyword::Bold}, {"vskw", Keyword::Weight}, {"i", Keyword::Italic}, {"ulnone", Keyword::UnderlineNone},
            {"up", Keyword::Up}, {"dn", Keyword::Down}, {"super", Keyword::Super}, {"sub", Keyword::Sub},
            {"nosupersub", Keyword::NoSuperSub}, {"v", Keyword::Hidden}, {"deleted", Keyword::Hidden},
            {"pard", Keyword::Pard}, {"ql", Keyword::AlignLeft}, {"qc", Keyword::AlignCenter},
            {"qr", Keyword::AlignRight}, {"qj", Keyword::AlignJustify}, {"qd", Keyword::AlignJustify},
            {"par", Keyword::ParagraphBreak}, {"sect", Keyword::ParagraphBreak}, {"page", Keyword::ParagraphBreak},
            {"row", Keyword::Row}};
        for (const auto& [name, keyword] : plain)
            words[name] = {keyword};
        // Characters that control words stand for.
        const std::pair<const char*, char16_t> special[] = {
            {"tab", u'\t'},        {"cell", u'\t'},          {"nestcell", u'\t'},      {"emdash", u'\u2014'},
            {"endash", u'\u2013'}, {"emspace", u'\u2003'},   {"enspace", u'\u2002'},   {"qmspace", u'\u2005'},
            {"bullet", u'\u2022'}, {"lquote", u'\u2018'},    {"rquote", u'\u2019'},    {"ldblquote", u'\u201C'},
            {"rdblquote", u'\u201D'}, {"line", u'\u2028'}};
        for (const auto& [name, character] : special)
            words[name] = {Keyword::Special, character};
        return words;
    }();
    const auto it = table.find(word);
    return it == table.end() ? KeywordInfo{} : it->second;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
// Printable ASCII that is plain text in RTF.
bool isPlainTextByte(char c) { return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}'; }

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
            } else if (!plainTextSpan()) {
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

    bool truncated() const { return m_truncated; }

private:
    GroupState& state() { return m_stack.last(); }

    bool skipping() const { return m_overflowDepth > 0 || m_stack.last().destination == Destination::Skip; }

    void stopAtLimit()
    {
        m_stopped = true;
        m_truncated = true;
    }

    void openGroup()
    {
        flushBytes();
        m_pendingFallback = 0;
        ++m_styleGeneration;
        if (m_overflowDepth > 0 || m_stack.size() > m_limits.maxGroupDepth) {
            // Whatever the group holds is dropped.
            ++m_overflowDepth;
            m_truncated = true;
            return;
        }
        m_stack.append(m_stack.last());
        m_ignorableNext = false;
    }

    void closeGroup()
    {
        flushBytes();
        m_pendingFallback = 0;
        ++m_styleGeneration;
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

    // Fast path for the bulk of a body: a stretch of printable ASCII appended in one go.
    bool plainTextSpan()
    {
        if (m_overflowDepth > 0 || m_pendingFallback > 0 || !m_bytes.isEmpty() || m_highSurrogate)
            return false;
        const GroupState& s = state();
        if (s.destination != Destination::Body || s.hidden)
            return false;
        qsizetype end = m_pos;
        while (end < m_in.size() && isPlainTextByte(m_in[end]))
            ++end;
        if (end == m_pos)
            return false;
        const QByteArrayView span = m_in.sliced(m_pos, end - m_pos);
        m_pos = end;
        m_ignorableNext = false;
        appendLatin1(span);
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
        const qsizetype wordStart = m_pos;
        while (m_pos < m_in.size() && isAsciiLetter(m_in[m_pos]))
            ++m_pos;
        const std::string_view word(m_in.data() + wordStart, size_t(std::min<qsizetype>(m_pos - wordStart, kMaxKeywordLength)));
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
        // Text before a control word is complete: decode it under the properties it was written
        // with, and before any character the word itself stands for.
        flushBytes();
        ++m_styleGeneration;
        controlWord(lookUpKeyword(word), hasParam, static_cast<int>(clamped));
    }

    void controlSymbol(char c)
    {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            if (consumeFallback())
                return;
            textByte(static_cast<unsigned char>(c), true);
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
        default: break;
        }
        flushBytes();
        switch (c) {
        case '*':
            m_ignorableNext = true;
            return;
        case '~':
            emitSpecial(u'\u00A0');
            return;
        case '_':
            emitSpecial(u'\u2011');
            return;
        case '\r':
        case '\n':
            paragraphBreak();
            return;
        case '\t':
            emitSpecial(u'\t');
            return;
        default:
            // \- (optional hyphen), \: (index entry), \| (formula) and unknown symbols show nothing.
            consumeFallback();
            return;
        }
    }

    void controlWord(KeywordInfo info, bool hasParam, int param)
    {
        const bool ignorable = m_ignorableNext;
        m_ignorableNext = false;
        const Keyword word = info.keyword;

        if (word == Keyword::Bin) {
            const qsizetype wanted = hasParam && param > 0 ? param : 0;
            const qsizetype available = m_in.size() - m_pos;
            if (wanted > available)
                m_truncated = true;  // the data claims more than there is: the rest is lost
            m_pos += std::min(wanted, available);
            return;
        }

        if (m_overflowDepth > 0)
            return;

        // Destinations.
        switch (word) {
        case Keyword::FontTable:
            state().destination = Destination::FontTable;
            m_fontEntryIndex = -1;
            m_fontName.clear();
            return;
        case Keyword::Field:
            if (state().destination == Destination::Body) {
                if (m_fields.size() < kMaxFields) {
                    m_fields.append(Field{});
                    state().fieldIndex = int(m_fields.size()) - 1;
                } else {
                    state().fieldIndex = -1;
                }
            }
            return;
        case Keyword::FieldInstruction:
            if (state().destination == Destination::Body && state().fieldIndex >= 0)
                state().destination = Destination::FieldInstruction;
            else
                state().destination = Destination::Skip;
            return;
        case Keyword::FieldResult: {
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
        case Keyword::ListText:
            return;  // the visible marker of a foreign list: shown as text
        default: break;
        }
        if (word == Keyword::SkippedDestination || ignorable) {
            state().destination = Destination::Skip;
            return;
        }

        if (skipping())
            return;
        if (word == Keyword::UnicodeSkip) {
            state().unicodeSkip = hasParam ? std::clamp(param, 0, 16) : 1;
            return;
        }
        if (word == Keyword::Unicode) {
            unicodeChar(param);
            return;
        }
        if (state().destination == Destination::FontTable) {
            fontTableWord(word, hasParam, param);
            return;
        }

        switch (word) {
        // Document-wide settings.
        case Keyword::AnsiCodePage:
            m_documentCodePage = hasParam ? param : m_documentCodePage;
            return;
        case Keyword::Mac:
            m_documentCodePage = 10000;
            return;
        case Keyword::DefaultFont:
            m_defaultFont = hasParam ? param : 0;
            return;
        // Paragraph formatting.
        case Keyword::Pard: state().alignment = RtfAlignment::Unset; return;
        case Keyword::AlignLeft: state().alignment = RtfAlignment::Left; return;
        case Keyword::AlignCenter: state().alignment = RtfAlignment::Center; return;
        case Keyword::AlignRight: state().alignment = RtfAlignment::Right; return;
        case Keyword::AlignJustify: state().alignment = RtfAlignment::Justify; return;
        // Breaks and the characters control words stand for.
        case Keyword::ParagraphBreak: paragraphBreak(); return;
        case Keyword::Row: paragraphBreak(true); return;
        case Keyword::Special: emitSpecial(info.character); return;
        default: break;
        }
        characterFormatting(word, hasParam, param);
        // Every other control word (colours, spacing, sections, ...) changes nothing we keep.
    }

    void characterFormatting(Keyword word, bool hasParam, int param)
    {
        GroupState& s = state();
        RtfRunStyle& style = s.style;
        const bool on = !hasParam || param != 0;
        switch (word) {
        case Keyword::Plain: {
            const QString href = style.href;
            style = RtfRunStyle{};
            style.href = href;
            s.hidden = false;
            s.sizeBeforeShift = 0;
            setFont(m_defaultFont);
            return;
        }
        case Keyword::Font: setFont(hasParam ? param : m_defaultFont); return;
        case Keyword::FontSize:
            if (hasParam && param > 0) {
                const int size = std::clamp(param, 2, 2000);
                if (s.sizeBeforeShift > 0) {
                    s.sizeBeforeShift = size;
                    style.sizeHalfPoints = shiftedSize(size);
                } else {
                    style.sizeHalfPoints = size;
                }
            }
            return;
        case Keyword::Bold: style.weight = on ? 700 : 400; return;
        case Keyword::Weight:
            if (hasParam)
                style.weight = std::clamp(param, 1, 1000);
            return;
        case Keyword::Italic: style.italic = on; return;
        case Keyword::Underline: style.underline = on; return;
        case Keyword::UnderlineNone: style.underline = false; return;
        case Keyword::Up: style.baselineHalfPoints = std::clamp(hasParam ? param : 6, -2000, 2000); return;
        case Keyword::Down: style.baselineHalfPoints = -std::clamp(hasParam ? param : 6, -2000, 2000); return;
        case Keyword::Super:
        case Keyword::Sub: {
            // Smaller and raised (or lowered), as word processors show them.
            if (s.sizeBeforeShift == 0)
                s.sizeBeforeShift = style.sizeHalfPoints;
            const int base = s.sizeBeforeShift;
            style.sizeHalfPoints = shiftedSize(base);
            style.baselineHalfPoints = word == Keyword::Super ? std::max(1, base / 3) : -std::max(1, base / 6);
            return;
        }
        case Keyword::NoSuperSub:
            if (s.sizeBeforeShift > 0)
                style.sizeHalfPoints = s.sizeBeforeShift;
            s.sizeBeforeShift = 0;
            style.baselineHalfPoints = 0;
            return;
        case Keyword::Hidden: s.hidden = on; return;
        default: return;
        }
    }

    static int shiftedSize(int base) { return std::max(2, (base * 2 + 1) / 3); }

    void emitSpecial(char16_t c)
    {
        if (consumeFallback())
            return;
        emitChar(QChar(c));
    }

    void fontTableWord(Keyword word, bool hasParam, int param)
    {
        if (word == Keyword::Font) {
            finishFontEntry();
            m_fontEntryIndex = hasParam ? param : -1;
            m_fontName.clear();
            m_fontCodePage = 0;
        } else if (word == Keyword::FontCharset) {
            flushFontBytes();
            m_fontCodePage = codePageForRtfCharset(param);
        } else if (word == Keyword::FontCodePage) {
            flushFontBytes();
            m_fontCodePage = param;
        }
    }

    int fontNameCodePage() const { return m_fontCodePage != 0 ? m_fontCodePage : m_documentCodePage; }

    void flushFontBytes()
    {
        if (m_fontBytes.isEmpty())
            return;
        const QString text = m_fontBytes.decode(fontNameCodePage());
        for (QChar c : text)
            appendFontNameChar(c);
    }

    void appendFontNameChar(QChar c)
    {
        if (m_fontEntryIndex >= 0 && m_fontName.size() < kMaxFontName && c.category() != QChar::Other_Control)
            m_fontName.append(c);
    }

    void finishFontEntry()
    {
        flushFontBytes();
        if (m_fontEntryIndex >= 0 && m_fonts.size() < kMaxFonts && !m_fonts.contains(m_fontEntryIndex))
            m_fonts.insert(m_fontEntryIndex, FontEntry{m_fontName.trimmed(), m_fontCodePage});
        m_fontEntryIndex = -1;
        m_fontName.clear();
        m_fontCodePage = 0;
    }

    void setFont(int index)
    {
        state().fontIndex = index;
        const auto it = m_fonts.constFind(index);
        QString family = it == m_fonts.constEnd() ? QString() : it->name;
        // Names beginning with a full stop are aliases of the system font (ours among them).
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
        if (skipping())
            return;
        if (state().destination == Destination::FontTable) {
            if (m_fontBytes.take(b, fontNameCodePage()))
                return;
            if (b == ';' && !escaped) {
                finishFontEntry();
                return;
            }
            flushFontBytes();
            appendFontNameChar(QChar(b));
            return;
        }
        if (m_bytes.take(b, currentCodePage())) {
            if (m_bytes.size() >= kPendingBytesChunk && m_bytes.atCharacterBoundary())
                flushBytes();
            return;
        }
        flushBytes();
        emitChar(QChar(b));
    }

    void flushBytes()
    {
        if (m_bytes.isEmpty())
            return;
        const QString text = m_bytes.decode(currentCodePage());
        for (QChar c : text)
            emitChar(c);
    }

    void unicodeChar(int value)
    {
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
        if (u == 0x2029) {
            paragraphBreak();
            return;
        }
        if ((u < 0x20 && u != '\t') || u == 0x7F || u == 0xFFFC || u == 0xFEFF)
            return;
        appendText(c);
    }

    // The run that text in the current style goes to, made when the style differs from the last.
    RtfRun* currentRun()
    {
        QList<RtfRun>& runs = m_content.paragraphs.last().runs;
        if (!runs.isEmpty() && m_runGeneration == m_styleGeneration)
            return &runs.last();
        const RtfRunStyle& style = state().style;
        if (runs.isEmpty() || !(runs.last().style == style)) {
            if (m_runCount >= m_limits.maxRuns) {
                stopAtLimit();
                return nullptr;
            }
            ++m_runCount;
            runs.append(RtfRun{QString(), style});
        }
        m_runGeneration = m_styleGeneration;
        return &runs.last();
    }

    void appendText(QChar c)
    {
        GroupState& s = state();
        if (s.destination == Destination::FieldInstruction) {
            appendInstruction(QStringView(&c, 1));
            return;
        }
        if (s.destination == Destination::FontTable) {
            flushFontBytes();
            appendFontNameChar(c);
            return;
        }
        if (s.destination != Destination::Body || s.hidden)
            return;
        if (m_textLength >= m_limits.maxTextLength) {
            stopAtLimit();
            return;
        }
        if (RtfRun* run = currentRun()) {
            run->text.append(c);
            ++m_textLength;
        }
    }

    void appendLatin1(QByteArrayView text)
    {
        const qsizetype room = m_limits.maxTextLength - m_textLength;
        const bool cut = text.size() > room;
        if (cut)
            text = text.first(std::max<qsizetype>(0, room));
        if (!text.isEmpty()) {
            if (RtfRun* run = currentRun()) {
                run->text.append(QLatin1StringView(text.data(), text.size()));
                m_textLength += text.size();
            }
        }
        if (cut)
            stopAtLimit();
    }

    void appendInstruction(QStringView text)
    {
        const int index = state().fieldIndex;
        if (index < 0)
            return;
        // Instructions are bounded by the same budget as the text, so any link the writer can
        // write is read back whole.
        if (m_instructionLength + text.size() > m_limits.maxTextLength) {
            m_truncated = true;
            return;
        }
        m_fields[index].instruction.append(text);
        m_instructionLength += text.size();
    }

    void paragraphBreak(bool endOfRow = false)
    {
        flushBytes();
        if (consumeFallback() || skipping())
            return;
        const GroupState& s = state();
        if (s.destination == Destination::FieldInstruction) {
            appendInstruction(u" ");
            return;
        }
        if (s.destination != Destination::Body || s.hidden)
            return;
        if (endOfRow) {
            // A table row ends with its last cell's separator: drop that tab.
            QList<RtfRun>& runs = m_content.paragraphs.last().runs;
            if (!runs.isEmpty() && runs.last().text.endsWith(QLatin1Char('\t'))) {
                runs.last().text.chop(1);
                --m_textLength;
                if (runs.last().text.isEmpty()) {
                    runs.removeLast();
                    --m_runCount;
                    ++m_styleGeneration;
                }
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
            stopAtLimit();
            return;
        }
        m_content.paragraphs.append(RtfParagraph{});
        ++m_styleGeneration;
        ++m_textLength;  // the line break counts toward the text bound
    }

    QByteArrayView m_in;
    RtfReaderLimits m_limits;
    qsizetype m_pos = 0;
    bool m_stopped = false;
    bool m_finished = false;
    bool m_truncated = false;
    QList<GroupState> m_stack;
    int m_overflowDepth = 0;
    bool m_ignorableNext = false;
    int m_pendingFallback = 0;
    char16_t m_highSurrogate = 0;
    PendingBytes m_bytes;
    int m_documentCodePage = 1252;
    int m_defaultFont = 0;
    QHash<int, FontEntry> m_fonts;
    int m_fontEntryIndex = -1;
    QString m_fontName;
    PendingBytes m_fontBytes;
    int m_fontCodePage = 0;
    QList<Field> m_fields;
    qsizetype m_instructionLength = 0;
    RtfContent m_content;
    qsizetype m_textLength = 0;
    qsizetype m_runCount = 0;
    // Bumped whenever the style in force may have changed; text goes straight to the last run
    // while it matches the generation that run was checked at.
    quint64 m_styleGeneration = 1;
    quint64 m_runGeneration = 0;
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

bool looksLikeRtf(QByteArrayView bytes)
{
    qsizetype start = 0;
    while (start < bytes.size() && (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r'
                                    || bytes[start] == '\n'))
        ++start;
    return bytes.sliced(start).startsWith(QByteArrayView("{\\rtf"));
}

std::optional<RtfContent> parseRtf(QByteArrayView bytes, const RtfReaderLimits& limits, bool* truncated)
{
    if (truncated)
        *truncated = false;
    if (!looksLikeRtf(bytes))
        return std::nullopt;
    qsizetype start = 0;
    while (bytes[start] != '{')
        ++start;
    Parser parser(bytes.sliced(start), limits);
    RtfContent content = parser.run();
    if (truncated)
        *truncated = parser.truncated();
    return content;
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
    QString target;
    QString fragment;
    while (i < n) {
        skipSpaces();
        if (i >= n)
            break;
        if (text[i] == QLatin1Char('\\')) {
            // A switch: \l (a place in the target), \o, \t and \m take an argument; \h and \n none.
            const QChar sw = i + 1 < n ? text[i + 1].toLower() : QChar();
            i += 2;
            if (sw == QLatin1Char('l'))
                fragment = readToken().trimmed();
            else if (sw == QLatin1Char('o') || sw == QLatin1Char('t') || sw == QLatin1Char('m'))
                readToken();
            continue;
        }
        const QString token = readToken().trimmed();
        if (target.isEmpty())
            target = token;
    }
    if (target.isEmpty())
        return {};
    if (!fragment.isEmpty() && !target.contains(QLatin1Char('#')))
        target += QLatin1Char('#') + fragment;
    return target;
}

} // namespace vesk
