#include "search/SearchForms.h"

#include "platform/TextFolding.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(SearchForms, NormalAndFoldedForms)
{
    struct Case {
        const char* text;
        const char* normal;
        const char* folded;
    };
    const Case cases[] = {
        {"Plain Words", "plain words", "plain words"},
        {"Dad\u2019s \u201cspare\u201d key", "dad's \"spare\" key", "dad's \"spare\" key"},
        {"Cre\u0300me", "cr\u00e8me", "creme"},
        {"Na\u00efve Z\u00dcRICH", "na\u00efve z\u00fcrich", "naive zurich"},
        {"\uff21\uff22\uff23\uff11", "\uff41\uff42\uff43\uff11", "abc1"},
        {"\ufb01le \u216b", "\ufb01le \u217b", "file xii"},
        // Scripts whose letters only decompose into parts come back whole.
        {"\ud55c\uad6d", "\ud55c\uad6d", "\ud55c\uad6d"},
    };
    for (const Case& c : cases) {
        const QString normal = searchNormalForm(QString::fromUtf8(c.text));
        EXPECT_EQ(normal, QString::fromUtf8(c.normal)) << c.text;
        EXPECT_EQ(searchFoldedForm(normal), QString::fromUtf8(c.folded)) << c.text;
    }
    // The shared helper keeps case, for the near-duplicate check that lowers on its own.
    EXPECT_EQ(foldDiacriticsAndWidth(QString::fromUtf8("\u00c9t\u00e9")), QStringLiteral("Ete"));
}

TEST(SearchForms, TermPunctuation)
{
    const std::pair<const char*, const char*> cases[] = {
        {"invoice?", "invoice"},
        {"\"spare", "spare"},
        {"key\".", "key"},
        {"(#work),", "#work"},
        {"#work#", "#work"},
        {"dad's", "dad's"},
        {"q3-planning", "q3-planning"},
        {"14:30", "14:30"},
        {"2024-03-15.", "2024-03-15"},
        {"c++", "c++"},
        {"$5", "$5"},
        {"#", "#"},
        {"?!", "?!"},
        {"...", "..."},
    };
    for (const auto& [term, trimmed] : cases)
        EXPECT_EQ(trimTermPunctuation(QString::fromUtf8(term)), QString::fromUtf8(trimmed)) << term;
}

TEST(SearchForms, WholeWords)
{
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"by the sea", "sea", true},
        {"two seas.", "sea", true},
        {"sea-side", "sea", true},
        {"#sea", "sea", true},
        {"seat", "sea", false},
        {"search", "sea", false},
        {"overseas", "sea", false},
        {"car and cars", "car", true},
        {"card carrots", "car", false},
        {"main street", "tree", false},
        {"trees, treees", "tree", true},
        {"boxes", "box", true},
        {"\u00e9sea", "sea", false},
        {"sea\u00e9", "sea", false},
        {"sea\u2014sky", "sea", true},
        {"", "sea", false},
    };
    for (const auto& [text, word, expected] : cases)
        EXPECT_EQ(containsWholeWord(text, word), expected) << text << " / " << word;
}

} // namespace
} // namespace vesk
