#include "richtext/RtfParser.h"

#include <algorithm>
#include <string_view>

namespace vesk {

namespace {

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

} // namespace

RtfContent RtfParser::run()
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

void RtfParser::openGroup()
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

void RtfParser::closeGroup()
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

// Fast path for the bulk of a body: a stretch of printable ASCII appended in one go.
bool RtfParser::plainTextSpan()
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

void RtfParser::readControl()
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
    const std::string_view word(m_in.data() + wordStart, size_t(std::min<qsizetype>(m_pos - wordStart, kMaxRtfKeywordLength)));
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
    controlWord(lookUpRtfKeyword(word), hasParam, static_cast<int>(clamped));
}

void RtfParser::controlSymbol(char c)
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

void RtfParser::controlWord(RtfKeywordInfo info, bool hasParam, int param)
{
    const bool ignorable = m_ignorableNext;
    m_ignorableNext = false;
    const RtfKeyword word = info.keyword;

    if (word == RtfKeyword::Bin) {
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
    case RtfKeyword::FontTable:
        state().destination = Destination::FontTable;
        m_fontEntryIndex = -1;
        m_fontName.clear();
        return;
    case RtfKeyword::Field:
        if (state().destination == Destination::Body) {
            if (m_fields.size() < kMaxFields) {
                m_fields.append(Field{});
                state().fieldIndex = int(m_fields.size()) - 1;
            } else {
                state().fieldIndex = -1;
            }
        }
        return;
    case RtfKeyword::FieldInstruction:
        if (state().destination == Destination::Body && state().fieldIndex >= 0)
            state().destination = Destination::FieldInstruction;
        else
            state().destination = Destination::Skip;
        return;
    case RtfKeyword::FieldResult: {
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
    case RtfKeyword::ListText:
        return;  // the visible marker of a foreign list: shown as text
    default: break;
    }
    if (word == RtfKeyword::SkippedDestination || ignorable) {
        state().destination = Destination::Skip;
        return;
    }

    if (skipping())
        return;
    if (word == RtfKeyword::UnicodeSkip) {
        state().unicodeSkip = hasParam ? std::clamp(param, 0, 16) : 1;
        return;
    }
    if (word == RtfKeyword::Unicode) {
        unicodeChar(param);
        return;
    }
    if (state().destination == Destination::FontTable) {
        fontTableWord(word, hasParam, param);
        return;
    }

    switch (word) {
    // Document-wide settings.
    case RtfKeyword::AnsiCodePage:
        m_documentCodePage = hasParam ? param : m_documentCodePage;
        return;
    case RtfKeyword::Mac:
        m_documentCodePage = 10000;
        return;
    case RtfKeyword::DefaultFont:
        m_defaultFont = hasParam ? param : 0;
        return;
    // Paragraph formatting.
    case RtfKeyword::Pard: state().alignment = RtfAlignment::Unset; return;
    case RtfKeyword::AlignLeft: state().alignment = RtfAlignment::Left; return;
    case RtfKeyword::AlignCenter: state().alignment = RtfAlignment::Center; return;
    case RtfKeyword::AlignRight: state().alignment = RtfAlignment::Right; return;
    case RtfKeyword::AlignJustify: state().alignment = RtfAlignment::Justify; return;
    // Breaks and the characters control words stand for.
    case RtfKeyword::ParagraphBreak: paragraphBreak(); return;
    case RtfKeyword::Row: paragraphBreak(true); return;
    case RtfKeyword::Special: emitSpecial(info.character); return;
    default: break;
    }
    characterFormatting(word, hasParam, param);
    // Every other control word (colours, spacing, sections, ...) changes nothing we keep.
}

void RtfParser::characterFormatting(RtfKeyword word, bool hasParam, int param)
{
    GroupState& s = state();
    RtfRunStyle& style = s.style;
    const bool on = !hasParam || param != 0;
    switch (word) {
    case RtfKeyword::Plain: {
        const QString href = style.href;
        style = RtfRunStyle{};
        style.href = href;
        s.hidden = false;
        s.sizeBeforeShift = 0;
        setFont(m_defaultFont);
        return;
    }
    case RtfKeyword::Font: setFont(hasParam ? param : m_defaultFont); return;
    case RtfKeyword::FontSize:
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
    case RtfKeyword::Bold: style.weight = on ? 700 : 400; return;
    case RtfKeyword::Weight:
        if (hasParam)
            style.weight = std::clamp(param, 1, 1000);
        return;
    case RtfKeyword::Italic: style.italic = on; return;
    case RtfKeyword::Underline: style.underline = on; return;
    case RtfKeyword::UnderlineNone: style.underline = false; return;
    case RtfKeyword::Up: style.baselineHalfPoints = std::clamp(hasParam ? param : 6, -2000, 2000); return;
    case RtfKeyword::Down: style.baselineHalfPoints = -std::clamp(hasParam ? param : 6, -2000, 2000); return;
    case RtfKeyword::Super:
    case RtfKeyword::Sub: {
        // Smaller and raised (or lowered), as word processors show them.
        if (s.sizeBeforeShift == 0)
            s.sizeBeforeShift = style.sizeHalfPoints;
        const int base = s.sizeBeforeShift;
        style.sizeHalfPoints = shiftedSize(base);
        style.baselineHalfPoints = word == RtfKeyword::Super ? std::max(1, base / 3) : -std::max(1, base / 6);
        return;
    }
    case RtfKeyword::NoSuperSub:
        if (s.sizeBeforeShift > 0)
            style.sizeHalfPoints = s.sizeBeforeShift;
        s.sizeBeforeShift = 0;
        style.baselineHalfPoints = 0;
        return;
    case RtfKeyword::Hidden: s.hidden = on; return;
    default: return;
    }
}

void RtfParser::emitSpecial(char16_t c)
{
    if (consumeFallback())
        return;
    emitChar(QChar(c));
}

void RtfParser::fontTableWord(RtfKeyword word, bool hasParam, int param)
{
    if (word == RtfKeyword::Font) {
        finishFontEntry();
        m_fontEntryIndex = hasParam ? param : -1;
        m_fontName.clear();
        m_fontCodePage = 0;
    } else if (word == RtfKeyword::FontCharset) {
        flushFontBytes();
        m_fontCodePage = codePageForRtfCharset(param);
    } else if (word == RtfKeyword::FontCodePage) {
        flushFontBytes();
        m_fontCodePage = param;
    }
}

void RtfParser::flushFontBytes()
{
    if (m_fontBytes.isEmpty())
        return;
    const QString text = m_fontBytes.decode(fontNameCodePage());
    for (QChar c : text)
        appendFontNameChar(c);
}

void RtfParser::appendFontNameChar(QChar c)
{
    if (m_fontEntryIndex >= 0 && m_fontName.size() < kMaxFontName && c.category() != QChar::Other_Control)
        m_fontName.append(c);
}

void RtfParser::finishFontEntry()
{
    flushFontBytes();
    if (m_fontEntryIndex >= 0 && m_fonts.size() < kMaxFonts && !m_fonts.contains(m_fontEntryIndex))
        m_fonts.insert(m_fontEntryIndex, FontEntry{m_fontName.trimmed(), m_fontCodePage});
    m_fontEntryIndex = -1;
    m_fontName.clear();
    m_fontCodePage = 0;
}

void RtfParser::setFont(int index)
{
    state().fontIndex = index;
    const auto it = m_fonts.constFind(index);
    QString family = it == m_fonts.constEnd() ? QString() : it->name;
    // Names beginning with a full stop are aliases of the system font (ours among them).
    if (family.startsWith(QLatin1Char('.')))
        family.clear();
    state().style.fontFamily = family;
}

} // namespace vesk
