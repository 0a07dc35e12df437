#include "richtext/RtfParser.h"

#include <algorithm>

namespace vesk {

void RtfParser::textByte(unsigned char b, bool escaped)
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

void RtfParser::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    const QString text = m_bytes.decode(currentCodePage());
    for (QChar c : text)
        emitChar(c);
}

void RtfParser::unicodeChar(int value)
{
    const int unit = value < 0 ? value + 65536 : value;
    if (unit >= 0 && unit <= 0xFFFF)
        emitChar(QChar(char16_t(unit)));
    m_pendingFallback = state().unicodeSkip;
}

// Every visible character passes here: surrogates are paired, control characters dropped.
void RtfParser::emitChar(QChar c)
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
RtfRun* RtfParser::currentRun()
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

void RtfParser::appendText(QChar c)
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

void RtfParser::appendLatin1(QByteArrayView text)
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

void RtfParser::appendInstruction(QStringView text)
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

void RtfParser::paragraphBreak(bool endOfRow)
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

void RtfParser::finishParagraph(bool startNext)
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

} // namespace vesk
