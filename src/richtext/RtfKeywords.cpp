#include "richtext/RtfKeywords.h"

#include <unordered_map>
#include <utility>

namespace vesk {

RtfKeywordInfo lookUpRtfKeyword(std::string_view word)
{
    static const std::unordered_map<std::string_view, RtfKeywordInfo> table = [] {
        std::unordered_map<std::string_view, RtfKeywordInfo> words;
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
            words[name] = {RtfKeyword::SkippedDestination};
        for (const char* name : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulth", "ulw", "ulwave",
                                 "ulhwave", "ulldash", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash",
                                 "ululdbwave"})
            words[name] = {RtfKeyword::Underline};
        const std::pair<const char*, RtfKeyword> plain[] = {
            {"bin", RtfKeyword::Bin}, {"fonttbl", RtfKeyword::FontTable}, {"field", RtfKeyword::Field},
            {"fldinst", RtfKeyword::FieldInstruction}, {"fldrslt", RtfKeyword::FieldResult}, {"listtext", RtfKeyword::ListText},
            {"pntext", RtfKeyword::ListText}, {"uc", RtfKeyword::UnicodeSkip}, {"u", RtfKeyword::Unicode}, {"f", RtfKeyword::Font},
            {"fcharset", RtfKeyword::FontCharset}, {"cpg", RtfKeyword::FontCodePage}, {"ansicpg", RtfKeyword::AnsiCodePage},
            {"mac", RtfKeyword::Mac}, {"deff", RtfKeyword::DefaultFont}, {"plain", RtfKeyword::Plain}, {"fs", RtfKeyword::FontSize},
            {"b", RtfKeyword::Bold}, {"vskw", RtfKeyword::Weight}, {"i", RtfKeyword::Italic}, {"ulnone", RtfKeyword::UnderlineNone},
            {"up", RtfKeyword::Up}, {"dn", RtfKeyword::Down}, {"super", RtfKeyword::Super}, {"sub", RtfKeyword::Sub},
            {"nosupersub", RtfKeyword::NoSuperSub}, {"v", RtfKeyword::Hidden}, {"deleted", RtfKeyword::Hidden},
            {"pard", RtfKeyword::Pard}, {"ql", RtfKeyword::AlignLeft}, {"qc", RtfKeyword::AlignCenter},
            {"qr", RtfKeyword::AlignRight}, {"qj", RtfKeyword::AlignJustify}, {"qd", RtfKeyword::AlignJustify},
            {"par", RtfKeyword::ParagraphBreak}, {"sect", RtfKeyword::ParagraphBreak}, {"page", RtfKeyword::ParagraphBreak},
            {"row", RtfKeyword::Row}};
        for (const auto& [name, keyword] : plain)
            words[name] = {keyword};
        // Characters that control words stand for.
        const std::pair<const char*, char16_t> special[] = {
            {"tab", u'\t'},        {"cell", u'\t'},          {"nestcell", u'\t'},      {"emdash", u'\u2014'},
            {"endash", u'\u2013'}, {"emspace", u'\u2003'},   {"enspace", u'\u2002'},   {"qmspace", u'\u2005'},
            {"bullet", u'\u2022'}, {"lquote", u'\u2018'},    {"rquote", u'\u2019'},    {"ldblquote", u'\u201C'},
            {"rdblquote", u'\u201D'}, {"line", u'\u2028'}};
        for (const auto& [name, character] : special)
            words[name] = {RtfKeyword::Special, character};
        return words;
    }();
    const auto it = table.find(word);
    return it == table.end() ? RtfKeywordInfo{} : it->second;
}

} // namespace vesk
