#include "platform/ConcurrentWordTable.h"
#include "platform/WordTable.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace vesk {
namespace {

// Words that sit on either side of the packed form's limits: its length, the byte of the last
// character, characters beyond ASCII, and words that differ only in a character that the packed
// form keeps in its second half.
std::vector<std::u16string> edgeWords()
{
    return {u"", u"a", u"ab", u"ba", u"abcdefgh", u"abcdefghi", u"abcdefghj", u"abcdefghijklmno",
        u"abcdefghijklmnp", u"abcdefghijklmnop", u"abcdefghijklmnoq", u"abcdefghijklmnopqrstuvwxyz",
        u"caf\u00e9", u"cafe", u"\u0161", u"\u0061\u0301", u"a\u0100", u"a\u0000", u"a\u007f", u"#tag", u"a#b",
        u"1999", u"\U0001F600x"};
}

// Many words, some repeated, of lengths up to 20 in a small alphabet with one non-ASCII letter.
std::vector<std::u16string> randomWords(quint32 seed, int count)
{
    QRandomGenerator random(seed);
    const std::u16string letters = u"abcde\u00e9";
    std::vector<std::u16string> words;
    for (int i = 0; i < count; ++i) {
        std::u16string word(size_t(random.bounded(21)), u'a');
        for (char16_t& c : word)
            c = letters[size_t(random.bounded(int(letters.size())))];
        words.push_back(word);
    }
    return words;
}

TEST(WordTable, EachDistinctWordHasOneIdInTheOrderFirstMetAndItsTextBack)
{
    const std::vector<std::vector<std::u16string>> cases = {
        edgeWords(), randomWords(1, 200), randomWords(2, 50'000)};
    for (const std::vector<std::u16string>& words : cases) {
        WordTable table;
        std::map<std::u16string, quint32> expected;
        for (int pass = 0; pass < 2; ++pass) {
            for (const std::u16string& word : words) {
                const auto [known, added] = expected.emplace(word, quint32(expected.size()));
                EXPECT_EQ(table.intern(word), known->second);
            }
        }
        ASSERT_EQ(table.size(), expected.size());
        for (const auto& [word, id] : expected)
            EXPECT_EQ(std::u16string(table.text(id)), word);
    }
}

TEST(WordTable, QueuedWordsGetTheIdsAndFirstMeetingsOfWordsLookedUpOneByOne)
{
    // Items of words read one after another, the same word often twice in an item and under
    // both uses, with long and non-ASCII words among the packed ones.
    struct Case {
        std::vector<std::u16string> words;
        int wordsPerItem;
    };
    const std::vector<Case> cases = {{edgeWords(), 3}, {randomWords(5, 20'000), 40}, {randomWords(6, 5'000), 1}};
    for (const Case& test : cases) {
        WordTable queued;
        WordTable direct;
        for (size_t first = 0; first < test.words.size(); first += size_t(test.wordsPerItem)) {
            const auto mark = quint32(first + 1);
            const size_t last = std::min(test.words.size(), first + size_t(test.wordsPerItem));
            std::vector<quint32> queuedIDs[WordTable::kUses];
            std::vector<quint32> directIDs[WordTable::kUses];
            for (size_t i = first; i < last; ++i) {
                for (int use = 0; use < WordTable::kUses; ++use) {
                    if ((i + size_t(use)) % 3 == 0)
                        continue;
                    queued.queueOnce(test.words[i], use, mark, queuedIDs[use]);
                    if (const auto id = direct.internOnce(test.words[i], use, mark))
                        directIDs[use].push_back(*id);
                }
            }
            queued.flush();
            for (int use = 0; use < WordTable::kUses; ++use)
                EXPECT_EQ(queuedIDs[use], directIDs[use]);
        }
        ASSERT_EQ(queued.size(), direct.size());
        for (quint32 id = 0; id < direct.size(); ++id) {
            EXPECT_EQ(queued.text(id), direct.text(id));
            for (int use = 0; use < WordTable::kUses; ++use)
                EXPECT_EQ(queued.isUsedAs(id, use), direct.isUsedAs(id, use));
        }
    }
}

TEST(ConcurrentWordTable, ReadersNumberedTogetherGiveEqualWordsOneDenseIdAfterTheTextsBefore)
{
    struct Case {
        size_t readers;
        size_t textsBefore;
    };
    for (const Case& test : {Case{1, 0}, Case{3, 0}, Case{4, 2}}) {
        ConcurrentWordTable table(test.readers);
        // Each reader meets a share of the words, overlapping the others'.
        std::vector<std::vector<std::pair<std::u16string, quint32>>> met(test.readers);
        const std::vector<std::u16string> words = randomWords(quint32(test.readers), 3'000);
        for (size_t reader = 0; reader < test.readers; ++reader) {
            ConcurrentWordTable::Reader reading(table, reader);
            for (size_t i = reader; i < words.size(); i += reader + 1)
                met[reader].emplace_back(words[i], reading.intern(words[i]));
        }
        std::deque<std::u16string> texts(test.textsBefore, u"before");
        const ConcurrentWordTable::Numbering numbering = table.number(texts);
        std::map<std::u16string, size_t> seen;
        for (size_t i = test.textsBefore; i < texts.size(); ++i)
            EXPECT_TRUE(seen.emplace(texts[i], i).second);
        for (size_t reader = 0; reader < test.readers; ++reader) {
            for (const auto& [word, id] : met[reader]) {
                const quint32 dense = numbering.dense(reader, id);
                ASSERT_LT(dense, texts.size());
                EXPECT_GE(dense, test.textsBefore);
                EXPECT_EQ(texts[dense], word);
            }
        }
    }
}

} // namespace
} // namespace vesk
