#include "search/FoldedView.h"
#include "search/SearchForms.h"

#include <gtest/gtest.h>

#include <string>

namespace vesk {
namespace {

// A text read lowered answers every search exactly as its lowered copy does: the same first
// position from every starting point, past the wide scan's blocks and at its edges.
TEST(FoldedView, LoweredTextAnswersAsItsLoweredCopy)
{
    const std::string texts[] = {
        "Plain Words, Mixed CASE and 42 Numbers",
        "\xc3\xa9t\xc3\xa9 Caf\xc3\xa9 ZZ zz [Brackets] @At `tick` {x}",
        std::string(40, 'A') + "Needle in a LONG run of capitals, NEEDLE again at the end: needle",
        "ab",
    };
    const std::string needles[] = {"a", "z", "needle", "le i", "[b", "@a", "`", "{x}", "\xc3\xa9t", "caf\xc3\xa9",
        "zz zz", "numbers", "aaaa", "Plain", "not there"};
    for (const std::string& text : texts) {
        const std::string lowered = foldedBytes({text, true});
        const FoldedView view{text, true};
        EXPECT_TRUE(sameFolded(view, {lowered}));
        for (const std::string& needle : needles) {
            for (size_t from = 0; from <= text.size() + 1; ++from) {
                const size_t expected = needle == "Plain" ? std::string::npos : lowered.find(needle, from);
                ASSERT_EQ(findFolded(view, needle, from), expected) << text << " / " << needle << " @" << from;
                ASSERT_EQ(findFolded({lowered}, needle, from), lowered.find(needle, from));
            }
        }
        // Every piece of the lowered text is found where the copy has it first.
        for (size_t start = 0; start < lowered.size(); ++start) {
            for (size_t length = 1; start + length <= lowered.size() && length < 20; ++length) {
                const std::string piece = lowered.substr(start, length);
                ASSERT_EQ(findFolded(view, piece), lowered.find(piece)) << piece;
                ASSERT_EQ(foldedStartsWith(view, start, piece), true);
            }
        }
    }
    EXPECT_FALSE(sameFolded({"ABC", true}, {"ABC"}));
    EXPECT_TRUE(sameFolded({"ABC", true}, {"aBc", true}));
}

TEST(FoldedView, WholeWordsInLoweredText)
{
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"By The SEA", "sea", true},
        {"two SEAS.", "sea", true},
        {"SEAT", "sea", false},
        {"BOXES", "box", true},
        {"Trees, TREEES", "tree", true},
        {"sea", "Sea", false},
    };
    for (const auto& [text, word, expected] : cases)
        EXPECT_EQ(containsWholeWord(FoldedView{text, true}, word), expected) << text << " / " << word;
}

} // namespace
} // namespace vesk
