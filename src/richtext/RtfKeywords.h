#pragma once
// The RTF control words the reader acts on. Every other word is Other: it changes nothing the
// reader keeps.

#include <string_view>

namespace vesk {

// Longer control words are cut to this length before they are looked up; none we know is longer.
inline constexpr int kMaxRtfKeywordLength = 32;

enum class RtfKeyword {
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

struct RtfKeywordInfo {
    RtfKeyword keyword = RtfKeyword::Other;
    char16_t character = 0;  // for Special: the character the word stands for
};

// One look-up per control word, whatever the number of words we know.
RtfKeywordInfo lookUpRtfKeyword(std::string_view word);

} // namespace vesk
