#pragma once
// The state machine behind parseRtf: one pass over the bytes, groups kept on a stack of the
// properties in force. RtfParser.cpp reads groups and control words; RtfParserText.cpp turns the
// characters into runs and paragraphs under the limits.

#include "richtext/RtfContent.h"
#include "richtext/RtfKeywords.h"
#include "richtext/RtfPendingBytes.h"
#include "richtext/RtfReader.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <algorithm>

namespace vesk {

class RtfParser {
public:
    RtfParser(QByteArrayView input, const RtfReaderLimits& limits) : m_in(input), m_limits(limits)
    {
        m_content.paragraphs.append(RtfParagraph{});
    }

    RtfContent run();
    bool truncated() const { return m_truncated; }

private:
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

    static constexpr int kMaxFontName = 256;
    static constexpr int kMaxFonts = 4096;
    static constexpr int kMaxFields = 100'000;
    // Pending bytes are decoded in pieces of about this size, so a long stretch costs no more memory.
    static constexpr qsizetype kPendingBytesChunk = 16 * 1024;

    GroupState& state() { return m_stack.last(); }
    bool skipping() const { return m_overflowDepth > 0 || m_stack.last().destination == Destination::Skip; }

    void stopAtLimit()
    {
        m_stopped = true;
        m_truncated = true;
    }

    bool consumeFallback()
    {
        if (m_pendingFallback <= 0)
            return false;
        --m_pendingFallback;
        return true;
    }

    int currentCodePage() const
    {
        const auto it = m_fonts.constFind(m_stack.last().fontIndex);
        if (it != m_fonts.constEnd() && it->codePage != 0)
            return it->codePage;
        return m_documentCodePage;
    }

    int fontNameCodePage() const { return m_fontCodePage != 0 ? m_fontCodePage : m_documentCodePage; }
    static int shiftedSize(int base) { return std::max(2, (base * 2 + 1) / 3); }

    // Groups and control words (RtfParser.cpp).
    void openGroup();
    void closeGroup();
    bool plainTextSpan();
    void readControl();
    void controlSymbol(char c);
    void controlWord(RtfKeywordInfo info, bool hasParam, int param);
    void characterFormatting(RtfKeyword word, bool hasParam, int param);
    void emitSpecial(char16_t c);
    void fontTableWord(RtfKeyword word, bool hasParam, int param);
    void flushFontBytes();
    void appendFontNameChar(QChar c);
    void finishFontEntry();
    void setFont(int index);

    // Characters into runs and paragraphs (RtfParserText.cpp).
    void textByte(unsigned char b, bool escaped = false);
    void flushBytes();
    void unicodeChar(int value);
    void emitChar(QChar c);
    RtfRun* currentRun();
    void appendText(QChar c);
    void appendLatin1(QByteArrayView text);
    void appendInstruction(QStringView text);
    void paragraphBreak(bool endOfRow = false);
    void finishParagraph(bool startNext);

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
    RtfPendingBytes m_bytes;
    int m_documentCodePage = 1252;
    int m_defaultFont = 0;
    QHash<int, FontEntry> m_fonts;
    int m_fontEntryIndex = -1;
    QString m_fontName;
    RtfPendingBytes m_fontBytes;
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

} // namespace vesk
